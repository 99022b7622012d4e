#pragma once
// Which hypervisor runs this machine, and whether the Windows Hypervisor Platform, through which
// the Engine runs its virtual machine, can be used or switched on.

#include <string>

namespace vellmora {

enum class HypervisorState {
  kNone,       // the processor reports no hypervisor
  kMicrosoft,  // the hypervisor's vendor text is exactly "Microsoft Hv"
  kOther,      // any other vendor text, an empty one included
};

// The hypervisor's vendor text from CPUID leaf 0x40000000 (EBX, ECX, EDX, up to the first zero
// byte); empty when no hypervisor is present.
std::string HypervisorVendor();
HypervisorState DetectHypervisor();

// The firmware has Intel VT-x or AMD SVM switched on.
bool FirmwareVirtualizationEnabled();

// The Microsoft hypervisor also runs for memory integrity, the Linux subsystem's platform or the
// Hyper-V role alone; only the Hypervisor Platform feature lets other programs use it, and that
// feature's library lies in the system folder.
inline constexpr const wchar_t* kHypervisorPlatformLibrary = L"WinHvPlatform.dll";
bool HypervisorPlatformInstalled();

}  // namespace vellmora
