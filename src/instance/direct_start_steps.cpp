#include "instance/direct_start_steps.h"

#include <utility>

#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/text.h"
#include "engine/machine_configuration.h"
#include "engine/player_theme.h"
#include "engine/virtualization_backend.h"
#include "instance/product_shortcuts.h"
#include "placement/access_control.h"
#include "placement/root_transaction.h"
#include "windows/com_registration.h"
#include "windows/process_control.h"

namespace vellmora {

DirectStartSteps DefaultDirectStartSteps() {
  DirectStartSteps steps;
  steps.verify_player_theme = VerifyPlayerTheme;
  steps.remove_owned_driver_services = [](InstallerEngine& engine) {
    return engine.RemoveOwnedVellmoraDriverServices();
  };
  steps.remove_obsolete_runtimes = [](InstallerEngine& engine) {
    const std::pair<Path, const wchar_t*> runtimes[] = {{engine.paths.DataDir(), L"Runtime"},
                                                        {engine.paths.InstallDir(), L".vellmora_runtime"}};
    for (const auto& [directory, name] : runtimes) {
      if (RemoveObsoleteRuntime(directory, name)) continue;
      ReportLog(engine, "The obsolete runtime folder could not be removed: " +
                            ToUtf8(JoinPath(directory, name)) + ".");
      return false;
    }
    return true;
  };
  steps.prepare_host_config = PrepareHostConfigForStart;
  steps.configure_virtualization_backend = [](InstallerEngine& engine) {
    return ConfigureVirtualizationBackend(engine, engine.paths.DataDir());
  };
  steps.ensure_com_registration = EnsureComRegistration;
  steps.register_com_components = [](InstallerEngine& engine) {
    return engine.RegisterComComponents();
  };
  steps.secure_program_files_root = SecureProgramFilesRoot;
  steps.remove_compatibility_launcher = RemoveCompatibilityLauncher;
  steps.create_product_shortcuts = CreateProductShortcuts;
  return steps;
}

DirectStartSteps& DirectStartStepsInUse() {
  static DirectStartSteps steps = DefaultDirectStartSteps();
  return steps;
}

}  // namespace vellmora
