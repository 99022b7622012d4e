#include <windows.h>

#include "platform/hardware.h"

namespace platform {

std::uint32_t GetActiveProcessorCount() {
  const DWORD count = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return count == 0 ? 1u : static_cast<std::uint32_t>(count);
}

Win32Error GetTotalPhysicalMemory(std::uint64_t* bytes) {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  if (!::GlobalMemoryStatusEx(&status)) return ::GetLastError();
  *bytes = status.ullTotalPhys;
  return kErrorSuccess;
}

ScreenSize GetPrimaryScreenSize() {
  ScreenSize size;
  size.width = ::GetSystemMetrics(SM_CXSCREEN);
  size.height = ::GetSystemMetrics(SM_CYSCREEN);
  return size;
}

}  // namespace platform
