#pragma once
// Text routines of the wizard: fitting texts into their room (measured with the regular face at
// 1.3 times the design size), and repairing Portuguese texts that were decoded twice.

#include <string>
#include <string_view>

#include "ui/canvas.h"

namespace vellmora {

// The text when it fits; otherwise the text cut at a UTF-8 character boundary and followed by
// "...". The cut never leaves fewer than 3 bytes of the text.
std::string FitWithEllipsis(Canvas& canvas, std::string_view text, float width, float design_size);
// The text when it fits; otherwise "..." and the shortest ending of the text (starting at a
// character boundary) with which the result fits, or the whole text after "..." when none does.
std::string FitPathKeepingEnd(Canvas& canvas, std::string_view text, float width,
                              float design_size);
// Undoes UTF-8 that was read once more as Windows-1252 ("Ã§" becomes "ç") for the letters of
// Portuguese, then drops every remaining "Â".
std::string RepairDoubleEncodedText(std::string text);

}  // namespace vellmora
