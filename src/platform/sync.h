#pragma once
// Named kernel mutexes, shared by every process of the machine.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

// WaitForSingleObject results.
inline constexpr std::uint32_t kWaitObject0 = 0x00000000;
inline constexpr std::uint32_t kWaitAbandoned = 0x00000080;
inline constexpr std::uint32_t kWaitTimeout = 0x00000102;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

// CreateMutexW without initial ownership: creates the named mutex or opens the existing one. A
// non-empty sddl gives the new mutex that security descriptor
// (ConvertStringSecurityDescriptorToSecurityDescriptorW); an SDDL text that cannot be converted
// leaves it with default security. Like every Windows mutex it is re-entrant for the owning
// thread, and a mutex whose owner ended without releasing it is handed to the next waiter as
// abandoned. Closing a handle never releases: the owning thread keeps the mutex until it releases
// it (through any handle of the name) or ends.
Win32Error CreateMutexW(const std::wstring& name, const std::wstring& sddl, UniqueHandle* mutex);
// WaitForSingleObject on a mutex: kWaitObject0, kWaitAbandoned, kWaitTimeout or kWaitFailed.
std::uint32_t WaitForSingleObject(RawHandle mutex, std::uint32_t milliseconds);
// ReleaseMutex: gives up one level of ownership; an error when the caller does not own it.
Win32Error ReleaseMutex(RawHandle mutex);

}  // namespace platform
