#pragma once
// Where the two packages come from and what the pipeline calls them. The host is the product's
// own; a test or a demo points it at a local server through the machine's hosts file and root
// store, the way one would on Windows.

namespace vellmora {

inline constexpr const wchar_t* kDefaultPackageHost = L"packages.vellmora.com";

inline constexpr const wchar_t* kEnginePackageUrl =
    L"https://packages.vellmora.com/3.9.1.1/Vellmora-Engine-3.9.1.0.rar";
inline constexpr const wchar_t* kEnginePackageFileName = L"Vellmora-Engine.rar";
inline constexpr const char* kEnginePackageLabel = "Vellmora Engine package";

inline constexpr const wchar_t* kInstancePackageUrl =
    L"https://packages.vellmora.com/3.9.1.1/Vellmora-InstanceP64-3.9.1.0.rar";
inline constexpr const wchar_t* kInstancePackageFileName = L"Vellmora-Instance-Pie64.rar";
inline constexpr const char* kInstancePackageLabel = "Pie64 instance package";

}  // namespace vellmora
