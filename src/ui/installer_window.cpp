#include "ui/installer_window.h"

#include <memory>

#include "app/install_log.h"
#include "app/installer_engine.h"
#include "ui/engine_wizard_actions.h"
#include "ui/wizard.h"
#include "ui/wizard_assets.h"

static_assert(IMGUI_VERSION_NUM == 19222, "the wizard is laid out for Dear ImGui 1.92.2b");

namespace vellmora {
namespace {

class WizardWindowClient : public platform::WindowClient {
 public:
  explicit WizardWindowClient(InstallerEngine& engine) : engine_(engine) {}

  void Start(platform::WindowHost& host) override {
    ImGui::GetStyle().FontScaleMain = kTextScale;
    ImGui::GetIO().ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    ImGui::GetIO().IniFilename = nullptr;  // nothing of the window is remembered on disk
    canvas_ = std::make_unique<Canvas>(LoadWizardFonts());
    actions_ = std::make_unique<EngineWizardActions>(engine_, host);
    wizard_ = std::make_unique<Wizard>(*actions_, host, *canvas_, LoadWizardTextures(host));
  }
  void Frame(platform::WindowHost&) override { wizard_->Frame(); }
  bool MayClose() override { return !engine_.TakeSnapshot().busy; }

 private:
  InstallerEngine& engine_;
  std::unique_ptr<Canvas> canvas_;
  std::unique_ptr<EngineWizardActions> actions_;
  std::unique_ptr<Wizard> wizard_;
};

}  // namespace

void RunInstallerWindow() {
  // The first Instance() call detects the installation on this thread, as the window will.
  InstallerEngine& engine = InstallerEngine::Instance();
  WizardWindowClient client(engine);
  if (!platform::RunWizardWindow(client)) {
    WriteDiagnostic("WIZARD: no graphics device could be created; the window was not shown.");
  }
}

}  // namespace vellmora
