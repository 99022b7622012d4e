#include "ui/wizard_harness.h"

#include <cmath>

#include "ui/wizard_assets.h"

namespace vellmora::testing {
namespace {

bool Near(ImVec2 a, ImVec2 b) { return std::fabs(a.x - b.x) <= 0.5f && std::fabs(a.y - b.y) <= 0.5f; }

// Stands in for a renderer backend: every texture the atlas asks for counts as uploaded.
void AcceptTextureRequests() {
  for (ImTextureData* texture : ImGui::GetPlatformIO().Textures) {
    if (texture->Status == ImTextureStatus_WantCreate || texture->Status == ImTextureStatus_WantUpdates) {
      texture->SetTexID(static_cast<ImTextureID>(1));
      texture->SetStatus(ImTextureStatus_OK);
    } else if (texture->Status == ImTextureStatus_WantDestroy) {
      texture->SetTexID(ImTextureID_Invalid);
      texture->SetStatus(ImTextureStatus_Destroyed);
    }
  }
}

}  // namespace

void RecordingCanvas::Text(FontRole role, float design_size, ImVec2 position, ImU32 colour,
                           std::string_view text) {
  texts.push_back({role, design_size * kTextScale, position, colour, std::string(text)});
  Canvas::Text(role, design_size, position, colour, text);
}

void RecordingCanvas::RectFilled(ImVec2 min, ImVec2 max, ImU32 colour, float rounding,
                                 ImDrawFlags flags) {
  shapes.push_back({ShapeKind::kRectFilled, min, max, colour, rounding, 0.0f});
  Canvas::RectFilled(min, max, colour, rounding, flags);
}

void RecordingCanvas::Rect(ImVec2 min, ImVec2 max, ImU32 colour, float rounding, ImDrawFlags flags,
                           float thickness) {
  shapes.push_back({ShapeKind::kRect, min, max, colour, rounding, thickness});
  Canvas::Rect(min, max, colour, rounding, flags, thickness);
}

void RecordingCanvas::Line(ImVec2 from, ImVec2 to, ImU32 colour, float thickness) {
  shapes.push_back({ShapeKind::kLine, from, to, colour, 0.0f, thickness});
  Canvas::Line(from, to, colour, thickness);
}

void RecordingCanvas::Circle(ImVec2 centre, float radius, ImU32 colour, int segments,
                             float thickness) {
  shapes.push_back({ShapeKind::kCircle, centre, centre, colour, radius, thickness});
  Canvas::Circle(centre, radius, colour, segments, thickness);
}

void RecordingCanvas::CircleFilled(ImVec2 centre, float radius, ImU32 colour) {
  shapes.push_back({ShapeKind::kCircleFilled, centre, centre, colour, radius, 0.0f});
  Canvas::CircleFilled(centre, radius, colour);
}

void RecordingCanvas::ConvexPolyFilled(const ImVec2* points, int count, ImU32 colour) {
  shapes.push_back({ShapeKind::kPolygon, points[0], points[count - 1], colour,
                    static_cast<float>(count), 0.0f});
  Canvas::ConvexPolyFilled(points, count, colour);
}

void RecordingCanvas::Image(ImTextureID texture, ImVec2 min, ImVec2 max, ImVec2 uv_min,
                            ImVec2 uv_max, ImU32 tint, float rounding, ImDrawFlags flags) {
  shapes.push_back({ShapeKind::kImage, min, max, tint, rounding, 0.0f});
  Canvas::Image(texture, min, max, uv_min, uv_max, tint, rounding, flags);
}

void RecordingCanvas::Tooltip(std::string_view text) {
  tooltips.emplace_back(text);
  Canvas::Tooltip(text);
}

void RecordingCanvas::Clear() {
  texts.clear();
  shapes.clear();
  tooltips.clear();
}

std::optional<DrawnText> RecordingCanvas::FindText(const std::string& text) const {
  for (const DrawnText& drawn : texts) {
    if (drawn.text == text) return drawn;
  }
  return std::nullopt;
}

std::optional<DrawnShape> RecordingCanvas::FindShape(ShapeKind kind, ImVec2 a) const {
  for (const DrawnShape& shape : shapes) {
    if (shape.kind == kind && Near(shape.a, a)) return shape;
  }
  return std::nullopt;
}

WizardHarness::WizardHarness() {
  context_ = ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;
  io.DisplaySize = ImVec2(960.0f, 600.0f);
  io.DeltaTime = 1.0f / 60.0f;
  io.BackendFlags |= ImGuiBackendFlags_RendererHasTextures;
  ImGui::StyleColorsDark();
  ImGui::GetStyle().FontScaleMain = kTextScale;
  // No Windows fonts in a test: every role is the embedded face, as on a machine without them.
  ImFont* fallback = LoadFallbackFont();
  io.FontDefault = fallback;
  canvas_.emplace(WizardFonts{fallback, fallback, fallback});
  wizard_.emplace(actions, host, *canvas_, WizardTextures{});
  actions.snapshot.fixed_drives = {"C:\\", "D:\\"};
  actions.snapshot.destination_root_text = "C:\\";
  actions.snapshot.install_dir_text = "C:\\Vellmora";
}

WizardHarness::~WizardHarness() {
  wizard_.reset();
  canvas_.reset();
  ImGui::DestroyContext(context_);
}

void WizardHarness::UseActions(WizardActions& other) {
  wizard_.emplace(other, host, *canvas_, WizardTextures{});
}

void WizardHarness::Frame() {
  canvas_->Clear();
  ImGui::NewFrame();
  wizard_->Frame();
  ImGui::Render();
  AcceptTextureRequests();
}

void WizardHarness::MoveMouse(float x, float y) {
  ImGui::GetIO().AddMousePosEvent(x, y);
  host.cursor = {host.top_left.x + static_cast<int>(x), host.top_left.y + static_cast<int>(y)};
  Frame();
}

void WizardHarness::Press() {
  ImGui::GetIO().AddMouseButtonEvent(ImGuiMouseButton_Left, true);
  Frame();
}

void WizardHarness::Release() {
  ImGui::GetIO().AddMouseButtonEvent(ImGuiMouseButton_Left, false);
  Frame();
}

void WizardHarness::Click(float x, float y) {
  MoveMouse(x, y);
  Press();
  Release();
}

}  // namespace vellmora::testing
