#include "ui/engine_wizard_actions.h"

#include "app/restart_resume.h"
#include "ui/shell_open.h"

namespace vellmora {

void EngineWizardActions::RestartWindowsNow(bool last_succeeded) {
  vellmora::RestartWindowsNow(last_succeeded, host_.Handle());
}

bool EngineWizardActions::PathExists(const std::string& path, bool want_folder) {
  return PathExistsUtf8(path, want_folder);
}

bool EngineWizardActions::OpenWithShell(const std::string& path, bool want_folder) {
  return vellmora::OpenWithShell(path, want_folder);
}

}  // namespace vellmora
