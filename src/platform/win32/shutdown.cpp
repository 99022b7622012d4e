#include <windows.h>

#include "platform/shutdown.h"

namespace platform {

Win32Error ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
  if (::ExitWindowsEx(flags, reason)) return kErrorSuccess;
  return ::GetLastError();
}

}  // namespace platform
