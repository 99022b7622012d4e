#include "platform/hardware.h"

#include "platform/sim/machine.h"

namespace platform {

// The machine's size comes from machine.ini ([machine] logical_processors, physical_memory,
// primary_screen), so that a test can be a one-processor laptop or a workstation.
std::uint32_t GetActiveProcessorCount() {
  const std::uint32_t count = sim::internal::Config()->hardware.logical_processors;
  return count == 0 ? 1u : count;
}

Win32Error GetTotalPhysicalMemory(std::uint64_t* bytes) {
  *bytes = sim::internal::Config()->hardware.physical_memory;
  return kErrorSuccess;
}

ScreenSize GetPrimaryScreenSize() {
  const sim::HardwareOptions& hardware = sim::internal::Config()->hardware;
  ScreenSize size;
  size.width = hardware.screen_width;
  size.height = hardware.screen_height;
  return size;
}

}  // namespace platform
