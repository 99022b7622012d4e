#include "ui/widgets.h"

#include <algorithm>
#include <array>
#include <string>

#include "ui/palette.h"

namespace vellmora {
namespace {

using namespace palette;

constexpr float kStepLineY = 78.0f;
constexpr float kStepCentreX = 637.0f;
constexpr float kStepTotalWidth = 574.0f;
constexpr float kStepLabelSize = 12.0f;    // 15.6 px
constexpr float kStepNumberSize = 13.0f;   // 16.9 px
constexpr float kButtonLabelSize = 12.0f;  // 15.6 px
constexpr float kHomeButtonLabelSize = 12.3f;  // 15.99 px

constexpr std::array<const char*, 4> kStepLabels = {"Início", "Opções", "Instalação", "Pronto"};

ImVec2 Offset(ImVec2 point, float dx, float dy) { return ImVec2(point.x + dx, point.y + dy); }

void DrawChipIcon(Canvas& canvas, ImVec2 centre) {
  const float half = 13.0f;
  canvas.Rect(Offset(centre, -half, -half), Offset(centre, half, half), kAccent, 4.0f, 0, 2.0f);
  canvas.Rect(Offset(centre, -6, -6), Offset(centre, 6, 6), kAccent, 2.0f, 0, 2.0f);
  for (float offset : {-7.0f, 0.0f, 7.0f}) {
    canvas.Line(Offset(centre, -half - 5, offset), Offset(centre, -half, offset), kAccent, 2.0f);
    canvas.Line(Offset(centre, half, offset), Offset(centre, half + 5, offset), kAccent, 2.0f);
    canvas.Line(Offset(centre, offset, -half - 5), Offset(centre, offset, -half), kAccent, 2.0f);
    canvas.Line(Offset(centre, offset, half), Offset(centre, offset, half + 5), kAccent, 2.0f);
  }
}

void DrawMonitorIcon(Canvas& canvas, ImVec2 centre) {
  canvas.Rect(Offset(centre, -15, -12), Offset(centre, 15, 8), kAccent, 3.0f, 0, 2.0f);
  canvas.Line(Offset(centre, 0, 8), Offset(centre, 0, 14), kAccent, 2.0f);
  canvas.Line(Offset(centre, -8, 15), Offset(centre, 8, 15), kAccent, 2.0f);
}

void DrawFolderIcon(Canvas& canvas, ImVec2 centre) {
  const ImVec2 points[] = {Offset(centre, -15, -11), Offset(centre, -5, -11), Offset(centre, -1, -6),
                           Offset(centre, 15, -6),   Offset(centre, 15, 12),  Offset(centre, -15, 12)};
  for (std::size_t i = 0; i < std::size(points); ++i) {
    canvas.Line(points[i], points[(i + 1) % std::size(points)], kAccent, 2.0f);
  }
  canvas.Line(Offset(centre, -15, -1), Offset(centre, 15, -1), kAccent, 2.0f);
}

}  // namespace

ButtonState HitArea(const char* id, ImVec2 position, ImVec2 size) {
  ImGui::SetCursorScreenPos(position);
  ButtonState state;
  state.clicked = ImGui::InvisibleButton(id, size);
  state.hovered = ImGui::IsItemHovered();
  return state;
}

bool DrawWizardButton(Canvas& canvas, const char* id, std::string_view label, ImVec2 position,
                      ImVec2 size, bool primary, bool enabled) {
  ButtonState state = HitArea(id, position, size);
  const bool hovered = enabled && state.hovered;
  const ImVec2 max = Offset(position, size.x, size.y);
  ImU32 fill, text;
  if (primary) {
    fill = !enabled ? Rgb(54, 56, 61) : hovered ? Rgb(255, 151, 27) : kAccent;
    text = enabled ? kTextOnAccent : kTextMuted;
  } else {
    fill = hovered ? Rgb(31, 36, 42) : Rgb(20, 24, 28);
    text = enabled ? kTextPrimary : kTextMuted;
  }
  canvas.RectFilled(position, max, fill, 7.0f);
  if (primary && enabled) {
    canvas.Rect(position, max, kAccent, 7.0f, 0, 1.0f);
  } else if (!primary) {
    canvas.Rect(position, max, Rgb(76, 86, 97), 7.0f, 0, 1.0f);
  }
  DrawCentredLabel(canvas, label, position, max, kButtonLabelSize, text);
  return enabled && state.clicked;
}

bool DrawHomeButton(Canvas& canvas, const char* id, std::string_view label, float x, float width,
                    bool primary, bool enabled, float label_shift) {
  const ImVec2 position(x, 529.0f), max(x + width, 573.0f);
  ButtonState state = HitArea(id, position, ImVec2(width, 44.0f));
  const bool hovered = enabled && state.hovered;
  ImU32 fill, text;
  if (primary) {
    fill = !enabled ? Rgb(71, 74, 78) : hovered ? Rgb(255, 162, 32) : kAccent;
    text = enabled ? kTextOnAccentDark : kTextMuted;
  } else {
    fill = hovered ? Rgb(31, 37, 43) : Rgb(17, 22, 27);
    text = enabled ? kTextPrimary : kTextMuted;
  }
  canvas.RectFilled(position, max, fill, 7.0f);
  if (primary && enabled) {
    canvas.Rect(position, max, kAccent, 7.0f, 0, 1.0f);
  } else if (!primary) {
    canvas.Rect(position, max, Rgb(87, 97, 108), 7.0f, 0, 1.0f);
  }
  DrawCentredLabel(canvas, label, ImVec2(position.x + 2.0f * label_shift, position.y), max,
                   kHomeButtonLabelSize, text);
  return enabled && state.clicked;
}

void DrawSwitch(Canvas& canvas, const char* id, ImVec2 position, bool* value) {
  if (HitArea(id, position, ImVec2(44.0f, 24.0f)).clicked) *value = !*value;
  const bool on = *value;
  canvas.RectFilled(position, Offset(position, 44.0f, 24.0f), on ? kAccent : Rgb(66, 71, 78), 12.0f);
  canvas.CircleFilled(Offset(position, on ? 32.0f : 12.0f, 12.0f), 9.0f,
                      on ? Rgb(20, 21, 23) : Rgb(221, 224, 229));
}

void DrawCheckMark(Canvas& canvas, ImVec2 centre, float scale, ImU32 colour, float thickness) {
  const ImVec2 knee = Offset(centre, -scale, 3.0f * scale);
  canvas.Line(Offset(centre, -4.0f * scale, 0.0f), knee, colour, thickness);
  canvas.Line(knee, Offset(centre, 5.0f * scale, -4.0f * scale), colour, thickness);
}

void DrawCentredLabel(Canvas& canvas, std::string_view text, ImVec2 min, ImVec2 max,
                      float design_size, ImU32 colour, bool semibold) {
  const FontRole role = semibold ? FontRole::kSemibold : FontRole::kRegular;
  const ImVec2 size = canvas.MeasureText(role, design_size, text);
  const ImVec2 position((min.x + max.x - size.x) * 0.5f, (min.y + max.y - size.y) * 0.5f);
  canvas.Text(role, design_size, position, colour, text);
}

void DrawStepIndicator(Canvas& canvas, int current) {
  std::array<float, 4> label_widths{};
  float sum = 0.0f;
  for (std::size_t i = 0; i < kStepLabels.size(); ++i) {
    label_widths[i] = canvas.MeasureText(FontRole::kSemibold, kStepLabelSize, kStepLabels[i]).x;
    sum += 40.0f + label_widths[i];
  }
  const float connector = std::clamp((kStepTotalWidth - sum) / 3.0f, 0.0f, 62.0f);
  float left = kStepCentreX - (sum + 3.0f * connector) / 2.0f;
  for (int i = 0; i < static_cast<int>(kStepLabels.size()); ++i) {
    const ImVec2 centre(left + 16.0f, kStepLineY);
    const std::string number = std::to_string(i + 1);
    if (i == current) {
      canvas.CircleFilled(centre, 16.0f, kAccent);
      DrawCentredLabel(canvas, number, Offset(centre, -16, -16), Offset(centre, 16, 16),
                       kStepNumberSize, kTextOnAccent);
    } else if (i < current) {
      canvas.Rect(Offset(centre, -16, -16), Offset(centre, 16, 16), kAccent, 8.0f, 0, 1.4f);
      canvas.Line(Offset(centre, -4, 0), Offset(centre, -1, 3), kAccent, 2.0f);
      canvas.Line(Offset(centre, -1, 3), Offset(centre, 5, -4), kAccent, 2.0f);
    } else {
      canvas.Circle(centre, 16.0f, Rgb(92, 103, 117), 0, 1.2f);
      DrawCentredLabel(canvas, number, Offset(centre, -16, -16), Offset(centre, 16, 16),
                       kStepNumberSize, kTextSecondary);
    }
    const float label_x = left + 40.0f;
    const ImVec2 label_size = canvas.MeasureText(FontRole::kSemibold, kStepLabelSize, kStepLabels[i]);
    canvas.Text(FontRole::kSemibold, kStepLabelSize,
                ImVec2(label_x, kStepLineY - label_size.y * 0.5f),
                i == current ? kTextPrimary : kTextSecondary, kStepLabels[i]);
    const float label_end = label_x + label_widths[i];
    const float next_left = label_end + connector;
    if (i + 1 < static_cast<int>(kStepLabels.size()) && connector > 12.0f) {
      canvas.Line(ImVec2(label_end + 10.0f, kStepLineY), ImVec2(next_left - 10.0f, kStepLineY),
                  i < current ? kAccent : Rgb(75, 85, 97), 1.0f);
    }
    left = next_left;
  }
}

void DrawFeatureRow(Canvas& canvas, float y, FeatureIcon icon, std::string_view caption,
                    std::string_view value, std::string_view note) {
  const ImVec2 centre(394.0f, y + 40.0f);
  switch (icon) {
    case FeatureIcon::kChip: DrawChipIcon(canvas, centre); break;
    case FeatureIcon::kMonitor: DrawMonitorIcon(canvas, centre); break;
    case FeatureIcon::kFolder: DrawFolderIcon(canvas, centre); break;
  }
  canvas.Text(FontRole::kRegular, 11.0f, ImVec2(442.0f, y + 10.0f), kTextSecondary, caption);
  canvas.Text(FontRole::kSemibold, 16.0f, ImVec2(442.0f, y + 30.0f), kTextPrimary, value);
  canvas.Text(FontRole::kRegular, 11.5f, ImVec2(442.0f, y + 57.0f), kTextMuted, note);
}

void DrawSeparator(Canvas& canvas, float x1, float x2, float y) {
  canvas.Line(ImVec2(x1, y), ImVec2(x2, y), kCardBorder, 1.0f);
}

void DrawCard(Canvas& canvas, ImVec2 min, ImVec2 max) {
  canvas.RectFilled(min, max, kCardFill, 8.0f);
  canvas.Rect(min, max, kCardBorder, 8.0f, 0, 1.0f);
}

void DrawDriveIcon(Canvas& canvas, ImVec2 min, ImVec2 max, ImU32 colour) {
  canvas.Rect(min, max, colour, 2.0f, 0, 1.7f);
  canvas.Line(ImVec2(min.x + 3.0f, max.y - 3.0f), ImVec2(max.x - 3.0f, max.y - 3.0f), colour, 1.5f);
}

}  // namespace vellmora
