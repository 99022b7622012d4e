#pragma once
// The registry keys the product owns. HKEY_LOCAL_MACHINE is always read and written in the
// 64-bit view (the registry helpers choose it from the root).

namespace vellmora {

// The product key, under HKLM and HKCU: paths, versions, tags, identifiers and state flags.
inline constexpr const wchar_t* kProductKey = L"SOFTWARE\\Ostrevin\\Vellmora";
// The key the installed Engine reads its directories and identifiers from, under HKLM and HKCU.
inline constexpr const wchar_t* kEngineNamespaceKey = L"SOFTWARE\\Pellucador_ovm5";
// The product's entry in the Windows list of installed programs, under HKLM only.
inline constexpr const wchar_t* kUninstallKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ostrevin Vellmora";

}  // namespace vellmora
