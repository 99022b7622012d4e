#include "instance/machine_resources.h"

#include "platform/hardware.h"

namespace vellmora {

int CpuCoresFor(std::uint32_t logical_processors) {
  if (logical_processors < 2) return 2;
  if (logical_processors > 4) return 4;
  return static_cast<int>(logical_processors);
}

int MemoryMibFor(std::uint64_t physical_memory_mib) {
  return physical_memory_mib < 8192 ? 2048 : 4096;
}

int ScreenWidthFor(int pixels) { return pixels >= 1920 ? 1920 : 1280; }
int ScreenHeightFor(int pixels) { return pixels >= 1080 ? 1080 : 720; }

MachineResources MeasureMachineResources() {
  MachineResources resources;
  resources.cpu_cores = CpuCoresFor(platform::GetActiveProcessorCount());
  std::uint64_t bytes = 0;
  // A machine whose memory cannot be read gets the smaller size, which every machine can run.
  if (platform::GetTotalPhysicalMemory(&bytes) != platform::kErrorSuccess) bytes = 0;
  resources.physical_memory_mib = bytes / (1024 * 1024);
  resources.memory_mib = MemoryMibFor(resources.physical_memory_mib);
  const platform::ScreenSize screen = platform::GetPrimaryScreenSize();
  resources.screen_width = ScreenWidthFor(screen.width);
  resources.screen_height = ScreenHeightFor(screen.height);
  return resources;
}

}  // namespace vellmora
