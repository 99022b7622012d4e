// Opens the native wizard window on a made-up InstallerEngine state, for looking at the screens
// that the simulated machine cannot reach yet (the installation procedures of later work), and for
// scripts/screenshots:
//
//   wizard_preview STATE     STATE: fresh, progress, failed-restart, finished, engine-only,
//                            uninstall-confirm, customise, drive-list
//
// Buttons do nothing but say on stdout what they would have started.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "ui/wizard.h"
#include "ui/wizard_assets.h"

namespace vellmora {
namespace {

InstallerSnapshot BaseSnapshot() {
  InstallerSnapshot snapshot;
  snapshot.fixed_drives = {"C:\\", "D:\\"};
  snapshot.destination_root_text = "C:\\";
  snapshot.install_dir_text = "C:\\Vellmora";
  snapshot.data_dir_text = "C:\\ProgramData\\Vellmora";
  snapshot.log_path = "C:\\ProgramData\\Vellmora-Installer\\Logs\\Vellmora-Instalacao.txt";
  return snapshot;
}

void AddLines(InstallerSnapshot& snapshot, int count) {
  for (int i = 0; i < count; ++i) {
    snapshot.log_lines.push_back("[*] Extracting payload file " + std::to_string(i) + ".");
    snapshot.log_times.push_back("[12:00:00]");
  }
}

// Where the preview clicks in its first frames: nowhere, or one spot.
struct PreviewClick {
  bool wanted = false;
  float x = 0, y = 0;
};

bool MakeSnapshot(const std::string& state, InstallerSnapshot* out, PreviewClick* click,
                  bool* customise) {
  InstallerSnapshot snapshot = BaseSnapshot();
  *click = {};
  *customise = false;
  if (state == "fresh") {
  } else if (state == "customise") {
    *customise = true;
  } else if (state == "drive-list") {
    snapshot.fixed_drives = {"C:\\", "D:\\", "E:\\", "F:\\", "G:\\"};
    *customise = true;
    *click = {true, 637, 272};  // the disk field
  } else if (state == "progress") {
    snapshot.busy = true;
    snapshot.progress = 0.52f;
    snapshot.stage_title = "Step 3/4: installing the Vellmora Engine";
    snapshot.stage_detail = "Materialising templates and rewriting paths into the private namespace.";
    AddLines(snapshot, 200);
  } else if (state == "failed-restart") {
    snapshot.progress = 0.67f;
    snapshot.restart_required = true;
    snapshot.stage_title = "Vellmora installation failed";
    snapshot.stage_detail =
        "The Windows Hypervisor Platform was switched on; restart Windows and run the installer again.";
    AddLines(snapshot, 40);
  } else if (state == "finished") {
    snapshot.last_succeeded = true;
    snapshot.engine_installed = true;
    snapshot.pie64_installed = true;
    snapshot.installation_traces = true;
    snapshot.progress = 1.0f;
    snapshot.stage_title = "Vellmora and Pie64 are installed";
  } else if (state == "engine-only") {
    snapshot.engine_installed = true;
    snapshot.installation_traces = true;
    snapshot.stage_title = "Vellmora Engine installed; Pie64 available";
  } else if (state == "uninstall-confirm") {
    snapshot.engine_installed = true;
    snapshot.pie64_installed = true;
    snapshot.installation_traces = true;
    *click = {true, 412, 551};  // "Desinstalar"
  } else {
    return false;
  }
  *out = snapshot;
  return true;
}

class PreviewActions : public WizardActions {
 public:
  explicit PreviewActions(InstallerSnapshot snapshot) : snapshot_(std::move(snapshot)) {}
  InstallerSnapshot TakeSnapshot() override { return snapshot_; }
  void StartFullInstallation() override { std::puts("would start: full installation"); }
  void StartPie64Installation() override { std::puts("would start: Pie64 installation"); }
  void StartCleanup() override { std::puts("would start: cleanup"); }
  bool SelectDestination(const std::string& root) override {
    snapshot_.destination_root_text = root;
    snapshot_.install_dir_text = root + "Vellmora";
    return true;
  }
  void OpenPie64() override { std::puts("would open Pie64"); }
  void RestartWindowsNow(bool) override { std::puts("would restart Windows"); }
  bool PathExists(const std::string&, bool) override { return true; }
  bool OpenWithShell(const std::string& path, bool) override {
    std::printf("would open %s\n", path.c_str());
    return true;
  }

 private:
  InstallerSnapshot snapshot_;
};

// A finished operation is shown as the wizard sees it: one busy frame first.
class PreviewClient : public platform::WindowClient {
 public:
  PreviewClient(InstallerSnapshot snapshot, PreviewClick click, bool customise)
      : actions_(std::move(snapshot)), click_(click), customise_(customise) {}

  void Start(platform::WindowHost& host) override {
    ImGui::GetStyle().FontScaleMain = kTextScale;
    ImGui::GetIO().IniFilename = nullptr;
    canvas_ = std::make_unique<Canvas>(LoadWizardFonts());
    wizard_ = std::make_unique<Wizard>(actions_, host, *canvas_, LoadWizardTextures(host));
    InstallerSnapshot first = actions_.TakeSnapshot();
    if (first.last_succeeded || first.restart_required) wizard_->state().operation_seen = true;
    if (first.restart_required) wizard_->state().screen = WizardScreen::kProgress;
    if (customise_) wizard_->state().screen = WizardScreen::kCustomise;
  }
  void Frame(platform::WindowHost&) override {
    ++frame_;
    if (click_.wanted && frame_ <= 3) {  // move, press, release
      ImGui::GetIO().AddMousePosEvent(click_.x, click_.y);
      ImGui::GetIO().AddMouseButtonEvent(ImGuiMouseButton_Left, frame_ == 2);
    }
    wizard_->Frame();
  }
  bool MayClose() override { return true; }

 private:
  PreviewActions actions_;
  PreviewClick click_;
  bool customise_;
  int frame_ = 0;
  std::unique_ptr<Canvas> canvas_;
  std::unique_ptr<Wizard> wizard_;
};

}  // namespace
}  // namespace vellmora

int main(int argc, char** argv) {
  vellmora::InstallerSnapshot snapshot;
  vellmora::PreviewClick click;
  bool customise = false;
  if (argc != 2 || !vellmora::MakeSnapshot(argv[1], &snapshot, &click, &customise)) {
    std::fprintf(stderr,
                 "usage: wizard_preview fresh|progress|failed-restart|finished|engine-only|"
                 "uninstall-confirm|customise|drive-list\n");
    return 2;
  }
  vellmora::PreviewClient client(snapshot, click, customise);
  return platform::RunWizardWindow(client) ? 0 : 1;
}
