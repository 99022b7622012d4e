#pragma once
// What this installer is and which package release it installs. Compiled in: the installer reads
// no configuration file of its own.

namespace vellmora {

inline constexpr const char* kInstallerBuild = "3.0.0.20";
inline constexpr const char* kPackageRelease = "3.9.1.0";
// The Engine release the package manifest must name.
inline constexpr const char* kPackageReleaseId = "vellmora-3.9.1.0+20261108.01";

}  // namespace vellmora
