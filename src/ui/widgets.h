#pragma once
// The wizard's widgets: each is an invisible Dear ImGui item with a fixed identifier under a
// shape drawn through the Canvas, so that what is drawn and what reacts to the mouse are the
// same rectangle.

#include <string_view>

#include "ui/canvas.h"

namespace vellmora {

struct ButtonState {
  bool hovered = false;
  bool clicked = false;
};

// An invisible button of the given rectangle (screen pixels) in the current window.
ButtonState HitArea(const char* id, ImVec2 position, ImVec2 size);

bool DrawWizardButton(Canvas& canvas, const char* id, std::string_view label, ImVec2 position,
                      ImVec2 size, bool primary, bool enabled);
// DrawWizardButton's look for the home screen's row at y = 529, 44 high.
// label_shift moves the label right of the centre, to leave room for an icon on its left.
bool DrawHomeButton(Canvas& canvas, const char* id, std::string_view label, float x, float width,
                    bool primary, bool enabled, float label_shift = 0.0f);
// A 44 x 24 on/off switch; flips *value when clicked.
void DrawSwitch(Canvas& canvas, const char* id, ImVec2 position, bool* value);
void DrawCheckMark(Canvas& canvas, ImVec2 centre, float scale, ImU32 colour, float thickness);
// Text centred in the rectangle, semibold (or regular) at the design size.
void DrawCentredLabel(Canvas& canvas, std::string_view text, ImVec2 min, ImVec2 max,
                      float design_size, ImU32 colour, bool semibold = true);
// The four steps of the wizard with `current` highlighted, on the line y = 78.
void DrawStepIndicator(Canvas& canvas, int current);

enum class FeatureIcon { kChip, kMonitor, kFolder };
void DrawFeatureRow(Canvas& canvas, float y, FeatureIcon icon, std::string_view caption,
                    std::string_view value, std::string_view note);
void DrawSeparator(Canvas& canvas, float x1, float x2, float y);
void DrawCard(Canvas& canvas, ImVec2 min, ImVec2 max);
// A hard-drive outline with its slot line.
void DrawDriveIcon(Canvas& canvas, ImVec2 min, ImVec2 max, ImU32 colour);

}  // namespace vellmora
