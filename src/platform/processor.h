#pragma once
// What the processor says about itself and about the hypervisor it runs under.

#include <cstdint>

namespace platform {

struct CpuidRegisters {
  std::uint32_t eax = 0;
  std::uint32_t ebx = 0;
  std::uint32_t ecx = 0;
  std::uint32_t edx = 0;
};
// The CPUID instruction for one leaf (sub-leaf 0). Leaf 1's ECX bit 31 says a hypervisor is
// present; leaf 0x40000000 then carries that hypervisor's vendor text in EBX, ECX and EDX.
CpuidRegisters Cpuid(std::uint32_t leaf);

inline constexpr std::uint32_t kCpuidFeatureLeaf = 1;
inline constexpr std::uint32_t kCpuidHypervisorPresentBit = 1u << 31;  // in leaf 1's ECX
inline constexpr std::uint32_t kCpuidHypervisorVendorLeaf = 0x40000000;

// PF_VIRT_FIRMWARE_ENABLED: the firmware has virtualization (Intel VT-x, AMD SVM) switched on.
inline constexpr std::uint32_t kProcessorFeatureVirtualizationFirmwareEnabled = 21;
// IsProcessorFeaturePresent.
bool IsProcessorFeaturePresent(std::uint32_t feature);

}  // namespace platform
