#pragma once
// Switching the Windows Hypervisor Platform on: the optional feature through dism.exe, then the
// hypervisor's start at boot through bcdedit.exe, both from the system folder. Each tool's result
// and flattened output go to the installation log as one "WHPX DISM: " or "WHPX BCDEDIT: " line.
// Windows must restart before the platform works; asking for that is the caller's.

#include <string>

namespace vellmora {

class InstallerEngine;

// True when both tools succeeded (dism with 0 or 3010, bcdedit with 0); else one log line.
bool SwitchHypervisorPlatformOn(InstallerEngine& engine);

// A tool's output on one line: line feeds, carriage returns and tabs become blanks, runs of
// blanks become one, white space at both ends goes; at most 3000 bytes, never cutting a UTF-8
// sequence.
std::string FlattenToolOutput(const std::string& output);

}  // namespace vellmora
