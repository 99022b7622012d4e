#pragma once
// Registering the placed Pie64 instance with this computer: a stable machine UUID, the machine's
// cores, memory, MAC address and paths in the VM definitions, the instance's records in
// "VellmoraOX.conf", its MachineEntry in "KolvGlobal.xml" and "KolvGlobal.xml-prev", and its
// entry in "VlmMetaData.json". Idempotent: a repair of a registered instance rewrites only what
// is machine-specific, so that a second repair leaves every file as it was.
//
// Runs on the worker thread under the MachineOperationLock its caller holds.

#include <functional>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;

// What registration relies on from the Engine's preparation: the virtualization backend of the
// data directory and the instance's boot promotion. Each logs its own failure.
struct RegistrationSteps {
  std::function<bool(InstallerEngine&, const platform::Path& data_dir)> configure_backend;
  std::function<bool(InstallerEngine&)> install_boot_promotion;
};
// ConfigureVirtualizationBackend and InstallBootPromotion.
RegistrationSteps DefaultRegistrationSteps();

// reset: a new instance has just been placed, so its session, account and identity keys start
// afresh; false for a repair, which keeps them. One "Pie64 registration error: " line and false
// on failure; whatever was written before stays.
bool RegisterPie64Instance(InstallerEngine& engine, bool reset,
                           const RegistrationSteps& steps = DefaultRegistrationSteps());

// Every file of a placed instance is there in the shape a registration needs (see
// IsPie64Registered in app/installation_probes.h for the registration itself).
bool IsPie64InstanceComplete(const InstallerEngine& engine);

}  // namespace vellmora
