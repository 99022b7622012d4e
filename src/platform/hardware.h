#pragma once
// The size of the machine: its logical processors, its physical memory and its primary display.

#include <cstdint>

#include "platform/types.h"

namespace platform {

// GetActiveProcessorCount(ALL_PROCESSOR_GROUPS): the active logical processors of every
// processor group; at least 1.
std::uint32_t GetActiveProcessorCount();

// GlobalMemoryStatusEx: the total physical memory in bytes (ullTotalPhys).
Win32Error GetTotalPhysicalMemory(std::uint64_t* bytes);

// GetSystemMetrics(SM_CXSCREEN) and GetSystemMetrics(SM_CYSCREEN): the primary display in pixels;
// 0 where the system has no display to report.
struct ScreenSize {
  int width = 0;
  int height = 0;
};
ScreenSize GetPrimaryScreenSize();

}  // namespace platform
