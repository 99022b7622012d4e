#pragma once
// What this computer gives the Pie64 virtual machine: processor cores, memory and the guest's
// screen, each chosen from the machine's own size within the few values the Engine supports.

#include <cstdint>

namespace vellmora {

struct MachineResources {
  int cpu_cores = 0;                  // 2 to 4
  int memory_mib = 0;                 // 2048 or 4096
  std::uint64_t physical_memory_mib = 0;
  int screen_width = 0;               // 1920 or 1280
  int screen_height = 0;              // 1080 or 720
};

// The active logical processors of all groups, clamped to 2..4.
int CpuCoresFor(std::uint32_t logical_processors);
// 2048 below 8192 MiB of physical memory, else 4096.
int MemoryMibFor(std::uint64_t physical_memory_mib);
// 1920 from 1920 pixels up, else 1280; 1080 from 1080 up, else 720 (each on its own).
int ScreenWidthFor(int pixels);
int ScreenHeightFor(int pixels);

// This computer's values, from the seam.
MachineResources MeasureMachineResources();

}  // namespace vellmora
