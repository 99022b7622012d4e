#include "ui/canvas.h"

#include <cfloat>
#include <string>

namespace vellmora {

ImFont* WizardFonts::Get(FontRole role) const {
  switch (role) {
    case FontRole::kDisplay: return display ? display : Get(FontRole::kSemibold);
    case FontRole::kSemibold: return semibold ? semibold : regular;
    case FontRole::kRegular: break;
  }
  return regular ? regular : ImGui::GetFont();
}

ImVec2 Canvas::MeasureText(FontRole role, float design_size, std::string_view text) {
  return fonts_.Get(role)->CalcTextSizeA(design_size * kTextScale, FLT_MAX, 0.0f, text.data(),
                                         text.data() + text.size());
}

void Canvas::Text(FontRole role, float design_size, ImVec2 position, ImU32 colour,
                  std::string_view text) {
  ImGui::GetWindowDrawList()->AddText(fonts_.Get(role), design_size * kTextScale, position, colour,
                                      text.data(), text.data() + text.size());
}

void Canvas::RectFilled(ImVec2 min, ImVec2 max, ImU32 colour, float rounding, ImDrawFlags flags) {
  ImGui::GetWindowDrawList()->AddRectFilled(min, max, colour, rounding, flags);
}

void Canvas::Rect(ImVec2 min, ImVec2 max, ImU32 colour, float rounding, ImDrawFlags flags,
                  float thickness) {
  ImGui::GetWindowDrawList()->AddRect(min, max, colour, rounding, flags, thickness);
}

void Canvas::Line(ImVec2 from, ImVec2 to, ImU32 colour, float thickness) {
  ImGui::GetWindowDrawList()->AddLine(from, to, colour, thickness);
}

void Canvas::Circle(ImVec2 centre, float radius, ImU32 colour, int segments, float thickness) {
  ImGui::GetWindowDrawList()->AddCircle(centre, radius, colour, segments, thickness);
}

void Canvas::CircleFilled(ImVec2 centre, float radius, ImU32 colour) {
  ImGui::GetWindowDrawList()->AddCircleFilled(centre, radius, colour);
}

void Canvas::ConvexPolyFilled(const ImVec2* points, int count, ImU32 colour) {
  ImGui::GetWindowDrawList()->AddConvexPolyFilled(points, count, colour);
}

void Canvas::Image(ImTextureID texture, ImVec2 min, ImVec2 max, ImVec2 uv_min, ImVec2 uv_max,
                   ImU32 tint, float rounding, ImDrawFlags flags) {
  ImGui::GetWindowDrawList()->AddImageRounded(ImTextureRef(texture), min, max, uv_min, uv_max, tint,
                                              rounding, flags);
}

void Canvas::Tooltip(std::string_view text) {
  std::string copy(text);
  ImGui::SetTooltip("%s", copy.c_str());
}

}  // namespace vellmora
