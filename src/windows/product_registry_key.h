#pragma once
// The product's own registry key, under HKEY_LOCAL_MACHINE in the 64-bit view.

namespace vellmora {

inline constexpr const wchar_t* kProductKey = L"SOFTWARE\\Ostrevin\\Vellmora";

}  // namespace vellmora
