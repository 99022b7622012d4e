#include <windows.h>
#include <intrin.h>

#include "platform/processor.h"

namespace platform {

CpuidRegisters Cpuid(std::uint32_t leaf) {
  int registers[4] = {};
  __cpuidex(registers, static_cast<int>(leaf), 0);
  return {static_cast<std::uint32_t>(registers[0]), static_cast<std::uint32_t>(registers[1]),
          static_cast<std::uint32_t>(registers[2]), static_cast<std::uint32_t>(registers[3])};
}

bool IsProcessorFeaturePresent(std::uint32_t feature) {
  return ::IsProcessorFeaturePresent(feature) != FALSE;
}

}  // namespace platform
