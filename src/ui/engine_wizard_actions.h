#pragma once
// The wizard's buttons wired to the real thing: the InstallerEngine's operations, the restart of
// Windows (its message box owned by the wizard window) and the shell.

#include "app/installer_engine.h"
#include "platform/window.h"
#include "ui/wizard.h"

namespace vellmora {

class EngineWizardActions : public WizardActions {
 public:
  EngineWizardActions(InstallerEngine& engine, platform::WindowHost& host)
      : engine_(engine), host_(host) {}

  InstallerSnapshot TakeSnapshot() override { return engine_.TakeSnapshot(); }
  void StartFullInstallation() override { engine_.StartFullInstallation(); }
  void StartPie64Installation() override { engine_.StartPie64Installation(); }
  void StartCleanup() override { engine_.StartCleanup(); }
  bool SelectDestination(const std::string& root) override { return engine_.SelectDestination(root); }
  void OpenPie64() override { engine_.OpenPie64(); }
  void RestartWindowsNow(bool last_succeeded) override;
  bool PathExists(const std::string& path, bool want_folder) override;
  bool OpenWithShell(const std::string& path, bool want_folder) override;

 private:
  InstallerEngine& engine_;
  platform::WindowHost& host_;
};

}  // namespace vellmora
