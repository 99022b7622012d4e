#include "engine/hypervisor_detection.h"

#include "app/path_helpers.h"
#include "app/system_helpers.h"
#include "engine/engine_files.h"
#include "platform/processor.h"

namespace vellmora {
namespace {

bool HypervisorPresent() {
  return (platform::Cpuid(platform::kCpuidFeatureLeaf).ecx &
          platform::kCpuidHypervisorPresentBit) != 0;
}

// A register holds four bytes of the text, the first in its lowest byte.
void AppendRegisterBytes(std::string* text, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) text->push_back(static_cast<char>(value >> shift));
}

}  // namespace

std::string HypervisorVendor() {
  if (!HypervisorPresent()) return {};
  const platform::CpuidRegisters vendor = platform::Cpuid(platform::kCpuidHypervisorVendorLeaf);
  std::string text;
  AppendRegisterBytes(&text, vendor.ebx);
  AppendRegisterBytes(&text, vendor.ecx);
  AppendRegisterBytes(&text, vendor.edx);
  return text.substr(0, text.find('\0'));
}

HypervisorState DetectHypervisor() {
  if (!HypervisorPresent()) return HypervisorState::kNone;
  return HypervisorVendor() == "Microsoft Hv" ? HypervisorState::kMicrosoft
                                              : HypervisorState::kOther;
}

bool FirmwareVirtualizationEnabled() {
  return platform::IsProcessorFeaturePresent(
      platform::kProcessorFeatureVirtualizationFirmwareEnabled);
}

bool HypervisorPlatformInstalled() {
  const Path system = System32Dir();
  return !system.empty() && IsPlainFile(JoinPath(system, kHypervisorPlatformLibrary));
}

}  // namespace vellmora
