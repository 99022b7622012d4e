#pragma once
// The thin drawing layer under the wizard: every shape and text the chrome, the screens and the
// widgets draw goes through a Canvas, which draws into the current Dear ImGui window's draw list.
// Tests put a recording Canvas in its place to see what a frame drew, where and in which colour.
//
// Text sizes are design sizes: the text is drawn and measured at 1.3 times the size given.

#include <cstdint>
#include <string_view>

#include "imgui.h"

namespace vellmora {

inline constexpr float kTextScale = 1.3f;

enum class FontRole { kRegular, kSemibold, kDisplay };

// The three faces of the wizard; a missing one already points at its fallback.
struct WizardFonts {
  ImFont* regular = nullptr;
  ImFont* semibold = nullptr;
  ImFont* display = nullptr;

  ImFont* Get(FontRole role) const;
};

class Canvas {
 public:
  explicit Canvas(const WizardFonts& fonts) : fonts_(fonts) {}
  virtual ~Canvas() = default;

  const WizardFonts& fonts() const { return fonts_; }

  virtual ImVec2 MeasureText(FontRole role, float design_size, std::string_view text);
  virtual void Text(FontRole role, float design_size, ImVec2 position, ImU32 colour,
                    std::string_view text);
  virtual void RectFilled(ImVec2 min, ImVec2 max, ImU32 colour, float rounding = 0.0f,
                          ImDrawFlags flags = 0);
  virtual void Rect(ImVec2 min, ImVec2 max, ImU32 colour, float rounding, ImDrawFlags flags,
                    float thickness);
  virtual void Line(ImVec2 from, ImVec2 to, ImU32 colour, float thickness);
  virtual void Circle(ImVec2 centre, float radius, ImU32 colour, int segments, float thickness);
  virtual void CircleFilled(ImVec2 centre, float radius, ImU32 colour);
  virtual void ConvexPolyFilled(const ImVec2* points, int count, ImU32 colour);
  virtual void Image(ImTextureID texture, ImVec2 min, ImVec2 max, ImVec2 uv_min, ImVec2 uv_max,
                     ImU32 tint, float rounding, ImDrawFlags flags);
  virtual void Tooltip(std::string_view text);

 private:
  WizardFonts fonts_;
};

// Colours are written as rgb(r, g, b) with an optional alpha, as the layout is described.
constexpr ImU32 Rgb(int r, int g, int b, int a = 255) {
  return static_cast<ImU32>(a) << IM_COL32_A_SHIFT | static_cast<ImU32>(b) << IM_COL32_B_SHIFT |
         static_cast<ImU32>(g) << IM_COL32_G_SHIFT | static_cast<ImU32>(r) << IM_COL32_R_SHIFT;
}

}  // namespace vellmora
