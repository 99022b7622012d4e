#pragma once
// Switching the Windows Hypervisor Platform on: the optional feature through dism.exe, then the
// hypervisor's start at boot through bcdedit.exe, both from the system folder. Each tool's result
// and output (on one line, as SanitizeToolOutput makes it) go to the installation log as one
// "WHPX DISM: " or "WHPX BCDEDIT: " line.
// Windows must restart before the platform works; asking for that is the caller's.

namespace vellmora {

class InstallerEngine;

// True when both tools succeeded (dism with 0 or 3010, bcdedit with 0); else one log line.
bool SwitchHypervisorPlatformOn(InstallerEngine& engine);

}  // namespace vellmora
