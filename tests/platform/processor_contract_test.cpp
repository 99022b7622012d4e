#include "platform/processor.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_machine.h"

#if VELLMORA_PLATFORM_SIM
#include "platform/sim/sim_control.h"
#endif

namespace vellmora::testing {
namespace {

std::string Bytes(std::initializer_list<std::uint32_t> registers) {
  std::string text;
  for (std::uint32_t value : registers) {
    for (int shift = 0; shift < 32; shift += 8) text.push_back(static_cast<char>(value >> shift));
  }
  return text;
}

TEST(ProcessorContract, LeafZeroNamesTheProcessorsMaker) {
  TestMachine machine;
  const platform::CpuidRegisters leaf = platform::Cpuid(0);
  EXPECT_GE(leaf.eax, platform::kCpuidFeatureLeaf);
  const std::string maker = Bytes({leaf.ebx, leaf.edx, leaf.ecx});
  for (char c : maker) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << maker;
}

#if VELLMORA_PLATFORM_SIM

TEST(ProcessorContract, TheHypervisorLeavesAreTheMachinesSettings) {
  TestMachine machine;
  const sim::ProcessorOptions cases[] = {
      {true, "Microsoft Hv", true}, {true, "KVMKVMKVM", false}, {false, "", true}};
  for (const sim::ProcessorOptions& processor : cases) {
    SCOPED_TRACE(processor.hypervisor_vendor);
    sim::SetProcessor(processor);
    const bool present = (platform::Cpuid(platform::kCpuidFeatureLeaf).ecx &
                          platform::kCpuidHypervisorPresentBit) != 0;
    EXPECT_EQ(present, processor.hypervisor_present);
    const platform::CpuidRegisters vendor = platform::Cpuid(platform::kCpuidHypervisorVendorLeaf);
    std::string text = Bytes({vendor.ebx, vendor.ecx, vendor.edx});
    EXPECT_EQ(text.substr(0, text.find('\0')), processor.hypervisor_vendor);
    EXPECT_EQ(platform::IsProcessorFeaturePresent(
                  platform::kProcessorFeatureVirtualizationFirmwareEnabled),
              processor.firmware_virtualization);
  }
}

#else

// Wine here runs in a KVM guest: its processor reports a hypervisor, and not Microsoft's.
TEST(ProcessorContract, TheHypervisorLeafNamesThisMachinesHypervisor) {
  TestMachine machine;
  if ((platform::Cpuid(platform::kCpuidFeatureLeaf).ecx & platform::kCpuidHypervisorPresentBit) ==
      0) {
    GTEST_SKIP() << "this machine runs on no hypervisor";
  }
  const platform::CpuidRegisters vendor = platform::Cpuid(platform::kCpuidHypervisorVendorLeaf);
  const std::string text = Bytes({vendor.ebx, vendor.ecx, vendor.edx});
  const std::string name = text.substr(0, text.find('\0'));
  EXPECT_FALSE(name.empty());
  EXPECT_GE(vendor.eax, platform::kCpuidHypervisorVendorLeaf);
  EXPECT_NE(name, "Microsoft Hv") << "a Microsoft hypervisor under Wine: check the expectation";
}

#endif

}  // namespace
}  // namespace vellmora::testing
