#include "ui/window_chrome.h"

#include <array>
#include <cmath>

#include "ui/palette.h"

namespace vellmora {
namespace {

constexpr ImVec2 kWindowSize(960.0f, 600.0f);
constexpr float kRounding = 7.0f;
constexpr ImU32 kRule = Rgb(51, 59, 67);
constexpr ImU32 kIconTint = Rgb(210, 210, 216);
constexpr ImU32 kIconHoverTint = Rgb(255, 255, 255);
constexpr ImU32 kIconBusyTint = Rgb(82, 82, 90);

// The product mark: the two strokes of a "V", each a capsule (a convex outline of 11 points, 6 on
// the upper cap and 5 on the lower one) between two points of its 28 x 19 box at (20, 11).
constexpr float kPi = 3.14159265358979f;

struct Stroke {
  ImVec2 top;
  ImVec2 bottom;
  float radius;
};
constexpr Stroke kMarkStrokes[] = {{{4.0f, 3.5f}, {13.0f, 15.5f}, 3.4f},
                                   {{24.5f, 3.5f}, {15.5f, 15.5f}, 2.4f}};

void DrawProductMark(Canvas& canvas) {
  const ImVec2 origin(20.0f, 11.0f);
  for (const Stroke& stroke : kMarkStrokes) {
    const float dx = stroke.bottom.x - stroke.top.x, dy = stroke.bottom.y - stroke.top.y;
    const float direction = std::atan2(dy, dx);
    std::array<ImVec2, 11> points{};
    // Upper cap: half a turn around the top point, facing away from the bottom.
    for (int i = 0; i < 6; ++i) {
      const float angle = direction + kPi * 0.5f + kPi * static_cast<float>(i) / 5.0f;
      points[i] = ImVec2(origin.x + stroke.top.x + std::cos(angle) * stroke.radius,
                         origin.y + stroke.top.y + std::sin(angle) * stroke.radius);
    }
    // Lower cap: the other half turn, strictly inside its end angles so that no point repeats.
    for (int i = 0; i < 5; ++i) {
      const float angle = direction - kPi * 0.5f + kPi * static_cast<float>(i + 1) / 6.0f;
      points[6 + i] = ImVec2(origin.x + stroke.bottom.x + std::cos(angle) * stroke.radius,
                             origin.y + stroke.bottom.y + std::sin(angle) * stroke.radius);
    }
    canvas.ConvexPolyFilled(points.data(), static_cast<int>(points.size()), palette::kAccent);
  }
}

}  // namespace

void BeginMainWindow() {
  ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, kRounding);
  ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0.0f, 0.0f));
  ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
  ImGui::PushStyleColor(ImGuiCol_WindowBg, ImVec4(0.027f, 0.027f, 0.031f, 1.0f));
  ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f), ImGuiCond_Always, ImVec2(0.0f, 0.0f));
  ImGui::SetNextWindowSize(kWindowSize, ImGuiCond_Always);
  ImGui::Begin("##VellmoraMain", nullptr,
               ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                   ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse |
                   ImGuiWindowFlags_NoCollapse);
}

void EndMainWindow(Canvas& canvas) {
  canvas.Rect(ImVec2(0.5f, 0.5f), ImVec2(959.5f, 599.5f), Rgb(67, 78, 90), kRounding,
              ImDrawFlags_RoundCornersAll, 1.0f);
  ImGui::PopStyleColor();
  ImGui::PopStyleVar(3);
}

void DrawWindowChrome(Canvas& canvas, const WizardTextures& textures) {
  canvas.RectFilled(ImVec2(0, 0), kWindowSize, Rgb(9, 11, 14), kRounding, ImDrawFlags_RoundCornersAll);
  canvas.RectFilled(ImVec2(kContentLeft, kTitleBandHeight), kWindowSize, Rgb(15, 20, 25), kRounding,
                    ImDrawFlags_RoundCornersBottomRight);
  const ImVec2 art_min(0.0f, kTitleBandHeight), art_max(kContentLeft, 600.0f);
  if (textures.art_panel) {
    canvas.Image(textures.art_panel, art_min, art_max, ImVec2(0.54f, 0.0f), ImVec2(0.91f, 1.0f),
                 Rgb(255, 255, 255, 245), kRounding, ImDrawFlags_RoundCornersBottomLeft);
  }
  canvas.RectFilled(art_min, art_max, Rgb(0, 0, 0, 32), kRounding, ImDrawFlags_RoundCornersBottomLeft);
  canvas.RectFilled(ImVec2(0, 0), ImVec2(960.0f, kTitleBandHeight), Rgb(11, 12, 14), kRounding,
                    ImDrawFlags_RoundCornersTop);
  canvas.RectFilled(ImVec2(0, 33.0f), ImVec2(960.0f, kTitleBandHeight), Rgb(11, 12, 14));
  canvas.Line(ImVec2(0, kTitleBandHeight), ImVec2(960.0f, kTitleBandHeight), kRule, 1.0f);
  canvas.Line(ImVec2(kContentLeft, kTitleBandHeight), ImVec2(kContentLeft, 600.0f), kRule, 1.0f);
  DrawProductMark(canvas);
  canvas.Text(FontRole::kSemibold, 15.0f, ImVec2(55.0f, 9.0f), Rgb(232, 234, 237), "Vell Mora");
}

TitleButton DrawTitleButtons(Canvas& canvas, const WizardTextures& textures, bool busy) {
  const ImVec2 button(42.0f, 42.0f);
  const ImVec2 minimise_at(876.0f, 0.0f), close_at(918.0f, 0.0f);
  ImGui::SetCursorScreenPos(minimise_at);
  const bool minimise_clicked = ImGui::InvisibleButton("##TitleMinimise", button);
  const bool minimise_hovered = ImGui::IsItemHovered();
  ImGui::SetCursorScreenPos(close_at);
  const bool close_clicked = ImGui::InvisibleButton("##TitleClose", button);
  const bool close_hovered = ImGui::IsItemHovered() && !busy;

  if (minimise_hovered) {
    canvas.RectFilled(minimise_at, ImVec2(918.0f, 42.0f), Rgb(255, 255, 255, 12));
  }
  if (close_hovered) {
    canvas.RectFilled(close_at, ImVec2(960.0f, 42.0f), Rgb(237, 21, 43, 48), kRounding,
                      ImDrawFlags_RoundCornersTopRight);
  }
  const ImU32 minimise_tint = minimise_hovered ? kIconHoverTint : kIconTint;
  const ImU32 close_tint = busy ? kIconBusyTint : close_hovered ? kIconHoverTint : kIconTint;
  if (textures.icon_minimise) {
    canvas.Image(textures.icon_minimise, ImVec2(889.0f, 13.0f), ImVec2(905.0f, 29.0f),
                 ImVec2(0, 0), ImVec2(1, 1), minimise_tint, 0.0f, 0);
  } else {
    canvas.Line(ImVec2(891.0f, 21.0f), ImVec2(903.0f, 21.0f), minimise_tint, 1.6f);
  }
  if (textures.icon_close) {
    canvas.Image(textures.icon_close, ImVec2(930.0f, 12.0f), ImVec2(948.0f, 30.0f), ImVec2(0, 0),
                 ImVec2(1, 1), close_tint, 0.0f, 0);
  } else {
    canvas.Line(ImVec2(933.0f, 15.0f), ImVec2(945.0f, 27.0f), close_tint, 1.6f);
    canvas.Line(ImVec2(945.0f, 15.0f), ImVec2(933.0f, 27.0f), close_tint, 1.6f);
  }
  if (minimise_clicked) return TitleButton::kMinimise;
  if (close_clicked && !busy) return TitleButton::kClose;
  return TitleButton::kNone;
}

void TitleBandDrag::Update(platform::WindowHost& host) {
  const ImGuiIO& io = ImGui::GetIO();
  if (ImGui::IsWindowHovered(ImGuiHoveredFlags_ChildWindows) && io.MousePos.y >= 0.0f &&
      io.MousePos.y < kTitleBandHeight && !ImGui::IsAnyItemHovered() &&
      ImGui::IsMouseClicked(ImGuiMouseButton_Left)) {
    const platform::ScreenPoint cursor = host.CursorPosition();
    const platform::ScreenPoint corner = host.WindowTopLeft();
    anchor_ = {cursor.x - corner.x, cursor.y - corner.y};
    active_ = true;
  }
  if (active_ && ImGui::IsMouseDragging(ImGuiMouseButton_Left)) {
    const platform::ScreenPoint cursor = host.CursorPosition();
    host.MoveTo({cursor.x - anchor_.x, cursor.y - anchor_.y});
  }
  if (ImGui::IsMouseReleased(ImGuiMouseButton_Left)) active_ = false;
}

}  // namespace vellmora
