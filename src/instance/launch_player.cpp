// InstallerEngine::OpenPie64: "Abrir agora" and the finish screen's start switch.

#include <cstdio>
#include <exception>

#include "app/installer_engine.h"
#include "app/machine_operation_lock.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "instance/direct_start_steps.h"
#include "instance/player_start.h"
#include "instance/product_shortcuts.h"
#include "windows/process_control.h"

namespace vellmora {
namespace {

constexpr const char* kNotPrepared =
    "Pie64 was not started because direct Vellmora startup could not be prepared.";

bool PrepareDirectStart(InstallerEngine& engine) {
  const DirectStartSteps& steps = DirectStartStepsInUse();
  for (const DirectStartSteps::Step* step :
       {&steps.verify_player_theme, &steps.configure_virtualization_backend,
        &steps.ensure_com_registration, &steps.remove_compatibility_launcher,
        &steps.create_product_shortcuts}) {
    if (!(*step)(engine)) return false;
  }
  return true;
}

}  // namespace

void InstallerEngine::OpenPie64() {
  if (!probes.pie64_registered(*this)) return;
  MachineOperationLock machine_lock;
  if (!machine_lock.Acquire(kMachineLockTimeoutMs)) {
    ReportLog(*this, "Pie64 was not started because another Vellmora operation is still running.");
    return;
  }
  if (NamedProcessRunningInProduct(paths.InstallDir(), paths.DataDir(), InstanceProcessNames(), 0)) {
    ReportLog(*this, "Pie64 is already running; close it before repairing or reopening the instance.");
    return;
  }
  // The wizard thread has no catch-all of its own: a file status that cannot be read ends the
  // attempt with its line instead of the process.
  try {
    if (!DirectStartStepsInUse().prepare_host_config(*this)) {
      ReportLog(*this, "Pie64 was not started because its launch configuration could not be verified.");
      return;
    }
    if (!PrepareDirectStart(*this)) {
      ReportLog(*this, kNotPrepared);
      return;
    }
  } catch (const std::exception& error) {
    ReportLog(*this, std::string("[-] ") + error.what());
    ReportLog(*this, kNotPrepared);
    return;
  }
  StartPlayer(*this, &machine_lock);
}

}  // namespace vellmora
