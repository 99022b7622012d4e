// CPU time of one wizard frame (snapshot copy, chrome, progress screen, title buttons, ImGui's
// own frame and render) with a full visible log of 200 lines, against the same frame without the
// wizard in it, and against a 60 Hz display refresh. Headless: the draw lists are built, not shown.
//
//   wizard_frame_bench [FRAMES]

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "ui/wizard.h"
#include "ui/wizard_assets.h"

namespace {

using namespace vellmora;

class BusyActions : public WizardActions {
 public:
  BusyActions() {
    snapshot_.busy = true;
    snapshot_.progress = 0.52f;
    snapshot_.stage_title = "Step 3/4: installing the Vellmora Engine";
    snapshot_.stage_detail = "Materialising templates and rewriting paths into the private namespace.";
    snapshot_.log_path = "C:\\ProgramData\\Vellmora-Installer\\Logs\\Vellmora-Instalacao.txt";
    snapshot_.fixed_drives = {"C:\\", "D:\\"};
    for (std::size_t i = 0; i < kVisibleLogLimit; ++i) {
      snapshot_.log_lines.push_back("[*] Extracting payload\\Runtime\\Pellucador_kta5\\file-" +
                                    std::to_string(i) + ".dll into the staging copy.");
      snapshot_.log_times.push_back("[12:34:56]");
    }
  }
  InstallerSnapshot TakeSnapshot() override { return snapshot_; }  // a copy, as the engine hands out
  void StartFullInstallation() override {}
  void StartPie64Installation() override {}
  void StartCleanup() override {}
  bool SelectDestination(const std::string&) override { return true; }
  void OpenPie64() override {}
  void RestartWindowsNow(bool) override {}
  bool PathExists(const std::string&, bool) override { return true; }
  bool OpenWithShell(const std::string&, bool) override { return true; }

 private:
  InstallerSnapshot snapshot_;
};

class NoWindow : public platform::WindowHost {
 public:
  platform::RawWindow Handle() override { return 0; }
  void PostCloseRequest() override {}
  void Minimise() override {}
  platform::ScreenPoint WindowTopLeft() override { return {}; }
  platform::ScreenPoint CursorPosition() override { return {}; }
  void MoveTo(platform::ScreenPoint) override {}
  std::uint64_t CreateTexture(const platform::RgbaImage&) override { return 1; }
};

void AcceptTextures() {
  for (ImTextureData* texture : ImGui::GetPlatformIO().Textures) {
    if (texture->Status == ImTextureStatus_WantCreate || texture->Status == ImTextureStatus_WantUpdates) {
      texture->SetTexID(static_cast<ImTextureID>(1));
      texture->SetStatus(ImTextureStatus_OK);
    }
  }
}

template <typename Body>
double CpuMicrosecondsPerFrame(int frames, Body body) {
  const std::clock_t start = std::clock();
  for (int i = 0; i < frames; ++i) {
    ImGui::NewFrame();
    body();
    ImGui::Render();
    AcceptTextures();
  }
  return 1e6 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC / frames;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 3000;
  ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;
  io.DisplaySize = ImVec2(960, 600);
  io.DeltaTime = 1.0f / 60.0f;
  io.BackendFlags |= ImGuiBackendFlags_RendererHasTextures;
  ImGui::GetStyle().FontScaleMain = kTextScale;
  ImFont* font = LoadFallbackFont();
  io.FontDefault = font;
  Canvas canvas(WizardFonts{font, font, font});
  BusyActions actions;
  NoWindow host;
  Wizard wizard(actions, host, canvas, WizardTextures{1, 1, 1});

  // Warm-up: glyphs of every size the screens use get rasterised once.
  CpuMicrosecondsPerFrame(60, [&] { wizard.Frame(); });
  const double empty = CpuMicrosecondsPerFrame(frames, [] {
    ImGui::Begin("##Empty");
    ImGui::End();
  });
  const double wizard_frame = CpuMicrosecondsPerFrame(frames, [&] { wizard.Frame(); });
  const double refresh = 1e6 / 60.0;
  std::printf("wizard frame (progress screen, 200 log lines): %.1f us CPU\n", wizard_frame);
  std::printf("empty ImGui frame (baseline, same run):         %.1f us CPU\n", empty);
  std::printf("ratio to the baseline: %.1fx; share of a 60 Hz refresh (%.0f us): %.2f%%\n",
              wizard_frame / empty, refresh, 100.0 * wizard_frame / refresh);
  ImGui::DestroyContext();
  return wizard_frame < refresh ? 0 : 1;
}
