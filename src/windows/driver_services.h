#pragma once
// The product's obsolete kernel driver: its two service aliases and its file in the install
// directory. A service is changed only after its image path proved, twice (before and after it is
// reopened with the rights to change it), to lie inside this installation's install directory;
// one that points elsewhere or cannot be resolved is preserved and reported. A removal that
// Windows can finish only at restart marks the restart as required.

#include <cstdint>
#include <string>

#include "platform/services.h"
#include "platform/types.h"

namespace vellmora {

class InstallerEngine;
using platform::Path;
using platform::ServiceHandle;
using platform::Win32Error;

// The aliases, in the order they are handled, and the driver file's name.
inline constexpr const wchar_t* kOwnDriverAlias = L"PellucadorDrv_ovm5";
inline constexpr const wchar_t* kOlderDriverAlias = L"PellucadorDrv_vlm";
inline constexpr const wchar_t* kObsoleteDriverFile = L"KolvDrv_ovm5.sys";

struct ServiceImage {
  std::wstring configured;  // lpBinaryPathName exactly as configured
  Path resolved;            // NormalizeServiceImagePath of it
  Win32Error error = 0;     // 0 only for an absolute drive path of a .sys driver
};

enum class ServiceOwnership { kOwned, kForeign, kUnverifiable };

// The plain file path a configured image path names: environment references expanded, a quoted
// path's quoted part, or an unquoted one up to its first ".exe", ".sys", ".com" or ".dll" (else
// its first blank), without "\??\" or "\\?\", with "\SystemRoot\" resolved. Empty when there is
// none.
Path NormalizeServiceImagePath(const std::wstring& configured);
ServiceImage QueryServiceImage(const ServiceHandle& service);
// Unverifiable when install_dir is empty or the image cannot be verified; owned when the image
// lies inside install_dir.
ServiceOwnership ServiceImageOwnership(const ServiceHandle& service, const Path& install_dir,
                                       ServiceImage* image);

// False when the state cannot be read.
bool QueryServiceState(const ServiceHandle& service, std::uint32_t* state);
// Polls every 200 ms; true once the service is in the wanted state.
bool WaitForServiceState(const ServiceHandle& service, std::uint32_t wanted,
                         std::uint32_t timeout_ms);
// True when the service is stopped; otherwise *error says why (1460 when it did not stop in time).
bool StopServiceAndWait(const ServiceHandle& service, std::uint32_t timeout_ms, Win32Error* error);
// Polls every 250 ms; true once the service no longer exists.
bool WaitForServiceDeletion(const ServiceHandle& manager, const std::wstring& name,
                            std::uint32_t timeout_ms);

// InstallerEngine::RemoveOwnedVellmoraDriverServices (installer_engine.h) removes both aliases
// where they prove to be this installation's, and the driver file.

}  // namespace vellmora
