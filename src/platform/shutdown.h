#pragma once
// Restarting Windows.

#include <cstdint>

#include "platform/types.h"

namespace platform {

inline constexpr std::uint32_t kEwxReboot = 0x00000002;
inline constexpr std::uint32_t kEwxForceIfHung = 0x00000010;
// SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION | SHTDN_REASON_FLAG_PLANNED.
inline constexpr std::uint32_t kShutdownReasonPlannedApplicationInstallation = 0x80040002;

// ExitWindowsEx: asks Windows to end the session; the caller keeps running until Windows ends
// it. Needs SeShutdownPrivilege enabled in the process token.
Win32Error ExitWindowsEx(std::uint32_t flags, std::uint32_t reason);

}  // namespace platform
