#pragma once
// Colours of the wizard (all opaque unless an alpha is given).

#include "ui/canvas.h"

namespace vellmora::palette {

inline constexpr ImU32 kAccent = Rgb(253, 140, 6);
inline constexpr ImU32 kTextPrimary = Rgb(244, 245, 247);
inline constexpr ImU32 kTextSecondary = Rgb(156, 163, 175);
inline constexpr ImU32 kTextMuted = Rgb(128, 135, 147);
inline constexpr ImU32 kTextOnAccent = Rgb(15, 16, 18);      // wizard buttons
inline constexpr ImU32 kTextOnAccentDark = Rgb(17, 18, 20);  // home buttons, check marks
inline constexpr ImU32 kCardFill = Rgb(18, 22, 26);
inline constexpr ImU32 kCardBorder = Rgb(48, 53, 60);        // also the separators
inline constexpr ImU32 kFieldFill = Rgb(23, 29, 35);
inline constexpr ImU32 kFieldFillHovered = Rgb(29, 36, 43);
inline constexpr ImU32 kFieldBorder = Rgb(76, 86, 97);
inline constexpr ImU32 kWarning = Rgb(255, 133, 82);

}  // namespace vellmora::palette
