#pragma once
// Drives the wizard through Dear ImGui without a display: a headless context with the embedded
// font, a Canvas that records every text and shape a frame draws, a fake InstallerEngine side and a
// fake window, and simulated mouse input.

#include <optional>
#include <string>
#include <vector>

#include "ui/canvas.h"
#include "ui/wizard.h"

namespace vellmora::testing {

struct DrawnText {
  FontRole role;
  float pixel_size;  // after the 1.3 factor
  ImVec2 position;
  ImU32 colour;
  std::string text;
};

enum class ShapeKind { kRectFilled, kRect, kLine, kCircle, kCircleFilled, kPolygon, kImage };

struct DrawnShape {
  ShapeKind kind;
  ImVec2 a;       // min, start or centre
  ImVec2 b;       // max or end (unused for circles)
  ImU32 colour;   // fill, line colour or image tint
  float size;     // rounding, radius or number of points
  float thickness;
};

class RecordingCanvas : public Canvas {
 public:
  explicit RecordingCanvas(const WizardFonts& fonts) : Canvas(fonts) {}

  void Text(FontRole role, float design_size, ImVec2 position, ImU32 colour,
            std::string_view text) override;
  void RectFilled(ImVec2 min, ImVec2 max, ImU32 colour, float rounding, ImDrawFlags flags) override;
  void Rect(ImVec2 min, ImVec2 max, ImU32 colour, float rounding, ImDrawFlags flags,
            float thickness) override;
  void Line(ImVec2 from, ImVec2 to, ImU32 colour, float thickness) override;
  void Circle(ImVec2 centre, float radius, ImU32 colour, int segments, float thickness) override;
  void CircleFilled(ImVec2 centre, float radius, ImU32 colour) override;
  void ConvexPolyFilled(const ImVec2* points, int count, ImU32 colour) override;
  void Image(ImTextureID texture, ImVec2 min, ImVec2 max, ImVec2 uv_min, ImVec2 uv_max, ImU32 tint,
             float rounding, ImDrawFlags flags) override;
  void Tooltip(std::string_view text) override;

  void Clear();
  // The first text drawn with exactly this content, if any.
  std::optional<DrawnText> FindText(const std::string& text) const;
  bool HasText(const std::string& text) const { return FindText(text).has_value(); }
  // The first shape of the kind whose first point is at `a` (within half a pixel).
  std::optional<DrawnShape> FindShape(ShapeKind kind, ImVec2 a) const;

  std::vector<DrawnText> texts;
  std::vector<DrawnShape> shapes;
  std::vector<std::string> tooltips;
};

class FakeWizardActions : public WizardActions {
 public:
  InstallerSnapshot TakeSnapshot() override { return snapshot; }
  void StartFullInstallation() override { ++full_installations; }
  void StartPie64Installation() override { ++pie64_installations; }
  void StartCleanup() override { ++cleanups; }
  bool SelectDestination(const std::string& root) override {
    selected.push_back(root);
    return true;
  }
  void OpenPie64() override { ++pie64_opens; }
  void RestartWindowsNow(bool last_succeeded) override { restarts.push_back(last_succeeded); }
  bool PathExists(const std::string&, bool want_folder) override {
    return want_folder ? log_folder_exists : log_file_exists;
  }
  bool OpenWithShell(const std::string& path, bool want_folder) override {
    opened.push_back((want_folder ? "folder:" : "file:") + path);
    return open_succeeds;
  }

  InstallerSnapshot snapshot;
  int full_installations = 0;
  int pie64_installations = 0;
  int cleanups = 0;
  int pie64_opens = 0;
  std::vector<std::string> selected;
  std::vector<bool> restarts;
  std::vector<std::string> opened;
  bool log_file_exists = true;
  bool log_folder_exists = true;
  bool open_succeeds = true;
};

class FakeWindowHost : public platform::WindowHost {
 public:
  platform::RawWindow Handle() override { return 0x1234; }
  void PostCloseRequest() override { ++close_requests; }
  void Minimise() override { ++minimised; }
  platform::ScreenPoint WindowTopLeft() override { return top_left; }
  platform::ScreenPoint CursorPosition() override { return cursor; }
  void MoveTo(platform::ScreenPoint point) override {
    top_left = point;
    moves.push_back(point);
  }
  std::uint64_t CreateTexture(const platform::RgbaImage&) override { return 0; }

  int close_requests = 0;
  int minimised = 0;
  platform::ScreenPoint top_left{100, 80};
  platform::ScreenPoint cursor;
  std::vector<platform::ScreenPoint> moves;
};

// One headless ImGui context with the wizard on it. The mouse position given to the input
// helpers is in window pixels; the fake host's cursor follows it in screen pixels.
class WizardHarness {
 public:
  WizardHarness();
  ~WizardHarness();
  WizardHarness(const WizardHarness&) = delete;
  WizardHarness& operator=(const WizardHarness&) = delete;

  // From now on the wizard's buttons reach these actions instead of the fake ones.
  void UseActions(WizardActions& other);
  // One frame; the canvas then holds what it drew.
  void Frame();
  void MoveMouse(float x, float y);
  // Move there, press, release (one frame each); what was drawn is the release frame's.
  void Click(float x, float y);
  void Press();
  void Release();

  RecordingCanvas& canvas() { return *canvas_; }
  Wizard& wizard() { return *wizard_; }

  FakeWizardActions actions;
  FakeWindowHost host;

 private:
  ImGuiContext* context_ = nullptr;
  std::optional<RecordingCanvas> canvas_;
  std::optional<Wizard> wizard_;
};

}  // namespace vellmora::testing
