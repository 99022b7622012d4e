#include "platform/processor.h"

#include <cstring>

#include "platform/sim/machine.h"

namespace platform {
namespace {

// Four bytes of the vendor text as the register holds them (the first byte lowest).
std::uint32_t VendorWord(const std::string& vendor, std::size_t offset) {
  unsigned char bytes[4] = {};
  for (std::size_t i = 0; i < 4 && offset + i < vendor.size(); ++i) {
    bytes[i] = static_cast<unsigned char>(vendor[offset + i]);
  }
  std::uint32_t word = 0;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

}  // namespace

// Only the leaves a hypervisor check reads are modelled: leaf 0 names an Intel processor with
// basic leaves up to 0x16, leaf 1 carries the hypervisor bit, leaf 0x40000000 the hypervisor's
// vendor and its highest leaf; every other leaf reads as zeros.
CpuidRegisters Cpuid(std::uint32_t leaf) {
  const sim::ProcessorOptions& processor = sim::internal::Config()->processor;
  CpuidRegisters registers;
  if (leaf == 0) {
    const std::string vendor = "GenuineIntel";
    registers = {0x16, VendorWord(vendor, 0), VendorWord(vendor, 8), VendorWord(vendor, 4)};
  } else if (leaf == kCpuidFeatureLeaf) {
    registers.ecx = processor.hypervisor_present ? kCpuidHypervisorPresentBit : 0;
  } else if (leaf == kCpuidHypervisorVendorLeaf && processor.hypervisor_present) {
    const std::string& vendor = processor.hypervisor_vendor;
    registers = {0x40000006, VendorWord(vendor, 0), VendorWord(vendor, 4), VendorWord(vendor, 8)};
  }
  return registers;
}

bool IsProcessorFeaturePresent(std::uint32_t feature) {
  return feature == kProcessorFeatureVirtualizationFirmwareEnabled &&
         sim::internal::Config()->processor.firmware_virtualization;
}

}  // namespace platform

namespace sim {

void SetProcessor(const ProcessorOptions& processor) {
  internal::ChangeConfig([&](internal::MachineConfig* config) {
    config->processor = processor;
    if (config->processor.hypervisor_vendor.size() > 12) config->processor.hypervisor_vendor.resize(12);
  });
}

}  // namespace sim
