#pragma once
// The wizard: four screens in the content panel (Home, Customise, Progress, Finish) and the
// uninstall confirmation, drawn every frame from one snapshot of the InstallerEngine, with the
// buttons turned into InstallerEngine operations.

#include <string>

#include "app/installer_snapshot.h"
#include "platform/window.h"
#include "ui/canvas.h"
#include "ui/window_chrome.h"

namespace vellmora {

enum class WizardScreen { kHome = 0, kCustomise = 1, kProgress = 2, kFinish = 3 };

// Action flags a screen returns for one frame; several may be set.
namespace wizard_action {
inline constexpr unsigned kPrimary = 0x01;  // install, install Pie64 or open
inline constexpr unsigned kCustomise = 0x02;
inline constexpr unsigned kBackHome = 0x04;
inline constexpr unsigned kClose = 0x08;
inline constexpr unsigned kReview = 0x10;
inline constexpr unsigned kOpenAndClose = 0x20;
inline constexpr unsigned kConfirmUninstall = 0x40;
inline constexpr unsigned kRestart = 0x80;
}  // namespace wizard_action

// What the wizard's buttons reach: the InstallerEngine's operations, the restart, the shell.
class WizardActions {
 public:
  virtual ~WizardActions() = default;
  virtual InstallerSnapshot TakeSnapshot() = 0;
  virtual void StartFullInstallation() = 0;
  virtual void StartPie64Installation() = 0;
  virtual void StartCleanup() = 0;
  virtual bool SelectDestination(const std::string& root) = 0;
  virtual void OpenPie64() = 0;
  virtual void RestartWindowsNow(bool last_succeeded) = 0;
  virtual bool PathExists(const std::string& path, bool want_folder) = 0;
  virtual bool OpenWithShell(const std::string& path, bool want_folder) = 0;
};

// Private to the wizard thread; lives as long as the process.
struct WizardState {
  WizardScreen screen = WizardScreen::kHome;
  bool operation_seen = false;
  bool create_desktop_shortcut = true;
  bool add_to_start_menu = true;
  bool start_after_finish = true;
  std::string remembered_log_path;
  bool log_open_failed = false;
};

// The progress the screens show: the snapshot's, clamped; when idle 1.0 with Pie64 installed and
// at least 0.35 with the Engine installed.
float DisplayedProgress(const InstallerSnapshot& snapshot);

class Wizard {
 public:
  Wizard(WizardActions& actions, platform::WindowHost& host, Canvas& canvas,
         const WizardTextures& textures)
      : actions_(actions), host_(host), canvas_(canvas), textures_(textures) {}

  // One whole frame inside ImGui's NewFrame/Render: the main window, the chrome, the screen and
  // its actions, the title buttons, the title-band drag, and ImGui::End of the main window.
  void Frame();
  // The per-frame wizard function alone; leaves the main window open.
  void RunWizardFrame();
  // Draws the step indicator and the screen; returns the action flags.
  unsigned DrawWizardScreen(WizardScreen screen, const InstallerSnapshot& snapshot, float progress);

  WizardState& state() { return state_; }

 private:
  unsigned DrawHome(const InstallerSnapshot& snapshot);
  unsigned DrawCustomise(const InstallerSnapshot& snapshot);
  unsigned DrawProgress(const InstallerSnapshot& snapshot, float progress);
  unsigned DrawFinish(const InstallerSnapshot& snapshot);
  void DrawDiskField(const InstallerSnapshot& snapshot);
  void DrawDriveList(const InstallerSnapshot& snapshot, bool changeable);
  void DrawLogAccess(const InstallerSnapshot& snapshot, bool restart_buttons);
  void DrawUninstallConfirmation();
  void ChooseScreen(const InstallerSnapshot& snapshot);
  void Act(unsigned flags, const InstallerSnapshot& snapshot);
  void FollowStartedOperation();

  WizardActions& actions_;
  platform::WindowHost& host_;
  Canvas& canvas_;
  WizardTextures textures_;
  WizardState state_;
  TitleBandDrag drag_;
};

}  // namespace vellmora
