#include "ui/text_fit.h"

namespace vellmora {
namespace {

constexpr std::string_view kEllipsis = "...";

bool IsContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// The length of the text without its last UTF-8 sequence.
std::size_t WithoutLastCharacter(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && IsContinuationByte(text[end - 1])) --end;
  return end > 0 ? end - 1 : 0;
}

float Width(Canvas& canvas, std::string_view text, float design_size) {
  return canvas.MeasureText(FontRole::kRegular, design_size, text).x;
}

struct Repair {
  const char* broken;
  const char* fixed;
};

// UTF-8 of each letter, read as Windows-1252 and encoded again, and the letter itself.
constexpr Repair kRepairs[] = {
    {"\xC3\x83\xC2\xA7", "\xC3\xA7"},      // ç
    {"\xC3\x83\xC2\xA3", "\xC3\xA3"},      // ã
    {"\xC3\x83\xC2\xA1", "\xC3\xA1"},      // á
    {"\xC3\x83\xC2\xA0", "\xC3\xA0"},      // à
    {"\xC3\x83\xC2\xA2", "\xC3\xA2"},      // â
    {"\xC3\x83\xC2\xA9", "\xC3\xA9"},      // é
    {"\xC3\x83\xC2\xAA", "\xC3\xAA"},      // ê
    {"\xC3\x83\xC2\xAD", "\xC3\xAD"},      // í
    {"\xC3\x83\xC2\xB3", "\xC3\xB3"},      // ó
    {"\xC3\x83\xC2\xB4", "\xC3\xB4"},      // ô
    {"\xC3\x83\xC2\xB5", "\xC3\xB5"},      // õ
    {"\xC3\x83\xC2\xBA", "\xC3\xBA"},      // ú
    {"\xC3\x83\xE2\x80\xA1", "\xC3\x87"},  // Ç
    {"\xC3\x83\xC6\x92", "\xC3\x83"},      // Ã
    {"\xC3\x83\xE2\x80\xB0", "\xC3\x89"},  // É
    {"\xC3\x83\xE2\x80\x9C", "\xC3\x93"},  // Ó
    {"\xC3\x82\xC2\xB7", "\xC2\xB7"},      // ·
};
constexpr std::string_view kStrayCircumflexA = "\xC3\x82";  // Â

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

std::string FitWithEllipsis(Canvas& canvas, std::string_view text, float width, float design_size) {
  if (Width(canvas, text, design_size) <= width) return std::string(text);
  std::string fitted(text);
  while (fitted.size() >= 4 && Width(canvas, fitted + std::string(kEllipsis), design_size) > width) {
    fitted.resize(WithoutLastCharacter(fitted));
  }
  return fitted + std::string(kEllipsis);
}

std::string FitPathKeepingEnd(Canvas& canvas, std::string_view text, float width,
                              float design_size) {
  if (Width(canvas, text, design_size) <= width) return std::string(text);
  // Endings grow from the right; the first that no longer fits ends the search.
  std::string best;
  bool found = false;
  for (std::size_t start = text.size(); start > 0;) {
    --start;
    if (IsContinuationByte(text[start])) continue;
    std::string candidate = std::string(kEllipsis) + std::string(text.substr(start));
    if (Width(canvas, candidate, design_size) > width) break;
    best = std::move(candidate);
    found = true;
  }
  return found ? best : std::string(kEllipsis) + std::string(text);
}

std::string RepairDoubleEncodedText(std::string text) {
  for (const Repair& repair : kRepairs) ReplaceAll(text, repair.broken, repair.fixed);
  ReplaceAll(text, kStrayCircumflexA, "");
  return text;
}

}  // namespace vellmora
