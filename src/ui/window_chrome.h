#pragma once
// The window's frame, drawn by the wizard every frame: background, left art panel, title band
// with the product mark and name, minimise and close buttons, outer border; and the drag of the
// window by its title band.

#include "platform/window.h"
#include "ui/canvas.h"

namespace vellmora {

inline constexpr float kTitleBandHeight = 42.0f;
inline constexpr float kContentLeft = 312.0f;

// Textures of the chrome; 0 where an image is missing (its fallback drawing is used instead).
struct WizardTextures {
  ImTextureID art_panel = 0;
  ImTextureID icon_minimise = 0;
  ImTextureID icon_close = 0;
};

// Begins the 960 x 600 main Dear ImGui window at (0,0) with the styles the wizard draws with.
// The caller ends the window (ImGui::End) after EndMainWindow.
void BeginMainWindow();
// Draws the outer border and pops what BeginMainWindow pushed.
void EndMainWindow(Canvas& canvas);
void DrawWindowChrome(Canvas& canvas, const WizardTextures& textures);

enum class TitleButton { kNone = 0, kMinimise = 1, kClose = 2 };
// The minimise and close buttons; the close button is grey and inert while an operation runs.
TitleButton DrawTitleButtons(Canvas& canvas, const WizardTextures& textures, bool busy);

// Moves the window while the left button drags from a free spot of the title band.
class TitleBandDrag {
 public:
  void Update(platform::WindowHost& host);
  bool active() const { return active_; }

 private:
  bool active_ = false;
  platform::ScreenPoint anchor_;
};

}  // namespace vellmora
