#pragma once
// The Engine runs its virtual machine on the Windows Hypervisor Platform (WHPX) alone and brings
// no kernel driver. ConfigureVirtualizationBackend makes sure this machine can do that: it
// refuses another vendor's hypervisor and firmware without virtualization, switches the platform
// on where it is missing (dism, then bcdedit; Windows must restart before the Engine can start),
// gives the user Hyper-V access through the local Hyper-V Administrators group, and records the
// backend and the shared folders in the data root's VellmoraOX.conf.
//
// The machine-wide changes (the optional feature, the boot setting, the group membership) are not
// undone by a rollback of the Engine's roots. The caller holds the MachineOperationLock; the
// InstallerEngine lock is taken only to set `restart_required`. One log line on failure; the
// caller words its own finishing message.

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;

// data_root: the staged ProgramData root before activation, or the live data directory.
bool ConfigureVirtualizationBackend(InstallerEngine& engine, const platform::Path& data_root);

}  // namespace vellmora
