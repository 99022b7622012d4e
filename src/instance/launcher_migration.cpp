// InstallerEngine::MigrateDirectPlayer: "--migrate-direct-player" turns an installation that
// started Pie64 through the compatibility launcher into one that starts the player directly.

#include <exception>
#include <string>

#include "app/installer_engine.h"
#include "app/machine_operation_lock.h"
#include "app/progress_report.h"
#include "instance/direct_start_steps.h"
#include "platform/system.h"
#include "windows/process_control.h"

namespace vellmora {
namespace {

enum MigrationExit {
  kMigrated = 0,
  kNothingToMigrate = 1,
  kMachineBusy = 2,
  kStillRunning = 3,
  kStepFailed = 4,
};

constexpr std::uint32_t kLauncherStopWaitMs = 15000;

bool RunMigrationSteps(InstallerEngine& engine) {
  const DirectStartSteps& steps = DirectStartStepsInUse();
  for (const DirectStartSteps::Step* step :
       {&steps.verify_player_theme, &steps.remove_owned_driver_services,
        &steps.remove_obsolete_runtimes, &steps.prepare_host_config,
        &steps.configure_virtualization_backend, &steps.register_com_components,
        &steps.secure_program_files_root, &steps.remove_compatibility_launcher,
        &steps.create_product_shortcuts}) {
    if (!(*step)(engine)) return false;
  }
  return true;
}

// Only the launcher may be ended here. A player or its virtual machine ended by force can leave
// the instance's disk inconsistent, so a running one keeps the migration from going on at all.
MigrationExit EndRunningLauncher(InstallerEngine& engine) {
  const Path install_dir = engine.paths.InstallDir();
  const Path data_dir = engine.paths.DataDir();
  const std::uint32_t own = platform::GetCurrentProcessId();
  if (!NamedProcessRunningInProduct(install_dir, data_dir, LauncherMigrationNames(), own)) {
    return kMigrated;
  }
  if (NamedProcessRunningInProduct(install_dir, data_dir, InstanceProcessNames(), own)) {
    ReportLog(engine, "[-] Vellmora is still running; close it before migrating to direct "
                      "Vellmora.exe startup. No process was stopped.");
    return kStillRunning;
  }
  StopNamedProcessesUnder(install_dir, LauncherName(), own);
  StopNamedProcessesUnder(CompatibilityRuntimeDir(data_dir), LauncherName(), own);
  if (!WaitForNamedProcessesToExit(install_dir, LauncherMigrationNames(), kLauncherStopWaitMs, own)) {
    ReportLog(engine, "[-] The compatibility launcher did not end; the migration was not started.");
    return kStillRunning;
  }
  return kMigrated;
}

}  // namespace

int InstallerEngine::MigrateDirectPlayer() {
  if (!paths.IsValid() || !probes.engine_installed(*this) || !probes.pie64_registered(*this)) {
    ReportLog(*this, "No installed Vellmora with a registered Pie64 instance was found; nothing "
                     "to migrate.");
    return kNothingToMigrate;
  }
  MachineOperationLock machine_lock;
  if (!machine_lock.Acquire(kMachineLockTimeoutMs)) {
    ReportLog(*this, "[-] Another Vellmora operation is still running; the migration was not "
                     "started.");
    return kMachineBusy;
  }
  if (MigrationExit running = EndRunningLauncher(*this); running != kMigrated) return running;
  bool migrated = false;
  try {
    migrated = RunMigrationSteps(*this);
  } catch (const std::exception& error) {
    ReportLog(*this, std::string("[-] ") + error.what());
  }
  if (!migrated) return kStepFailed;
  ReportLog(*this, "[+] Vellmora migrated to direct Vellmora.exe startup without Vellmora-Launcher.exe.");
  return kMigrated;
}

}  // namespace vellmora
