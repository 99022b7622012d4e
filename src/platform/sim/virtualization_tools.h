#pragma once
// dism.exe and bcdedit.exe of the simulated machine, for the forms that switch the Windows
// Hypervisor Platform on, with the texts and exit codes of Windows (run with /English).
//
// dism /Online /Enable-Feature /FeatureName:HypervisorPlatform [/All] [/NoRestart] [/English]:
// the feature is the library "WinHvPlatform.dll" in the system folder. Enabling it puts the
// library there and exits 3010 (restart needed); when it is there already, 0. Other feature names
// exit 0x800F080C, a command line of any other form 87, a process that is not elevated 740.
//
// bcdedit /set [{id}] hypervisorlaunchtype auto|off: the setting goes into
// boot-configuration.txt of the machine root (sim::BootSetting), exit 0; anything else exits 1
// with "The parameter is incorrect.". A process that is not elevated gets "The boot configuration
// data store could not be opened." and "Access is denied.", exit 1.

#include <string>
#include <vector>

namespace sim::internal {

// arguments without the program name; returns the exit code and appends what the tool prints.
int RunDism(const std::vector<std::wstring>& arguments, std::string* output);
int RunBcdedit(const std::vector<std::wstring>& arguments, std::string* output);

}  // namespace sim::internal
