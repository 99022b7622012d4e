#include "windows/guid_text.h"

namespace vellmora {
namespace {

constexpr BinaryGuid kPrivateMask = {0x64, 0x9A, 0xF1, 0x23, 0x2B, 0xA5, 0x47, 0x08,
                                     0x01, 0x41, 0xC2, 0xE9, 0x11, 0xD4, 0x6B, 0x53};

// Where each binary byte's two digits stand in the text: Data1, Data2 and Data3 are stored
// little-endian, so their bytes appear in the text in reverse.
constexpr std::array<std::uint8_t, 16> kTextPosition = {6, 4, 2, 0, 11, 9, 16, 14,
                                                        19, 21, 24, 26, 28, 30, 32, 34};

int HexValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsHyphenPosition(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

}  // namespace

bool ParseGuidText(const std::uint8_t* text, std::size_t stride, BinaryGuid* guid) {
  std::uint8_t characters[kGuidTextLength];
  for (std::size_t i = 0; i < kGuidTextLength; ++i) {
    const std::uint8_t c = text[i * stride];
    if (stride == 2 && text[i * stride + 1] != 0) return false;
    if (IsHyphenPosition(i) ? c != '-' : HexValue(c) < 0) return false;
    characters[i] = c;
  }
  for (std::size_t b = 0; b < 16; ++b) {
    const std::size_t at = kTextPosition[b];
    (*guid)[b] = static_cast<std::uint8_t>(HexValue(characters[at]) << 4 |
                                           HexValue(characters[at + 1]));
  }
  return true;
}

std::string FormatGuidText(const BinaryGuid& guid, bool upper_case) {
  const char* digits = upper_case ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text(kGuidTextLength, '-');
  for (std::size_t b = 0; b < 16; ++b) {
    text[kTextPosition[b]] = digits[guid[b] >> 4];
    text[kTextPosition[b] + 1] = digits[guid[b] & 0x0F];
  }
  return text;
}

bool GuidTextIsUpperCase(const std::uint8_t* text, std::size_t stride) {
  int upper = 0;
  int lower = 0;
  for (std::size_t i = 0; i < kGuidTextLength; ++i) {
    const std::uint8_t c = text[i * stride];
    if (c >= 'A' && c <= 'F') ++upper;
    if (c >= 'a' && c <= 'f') ++lower;
  }
  return upper > lower;
}

bool ParseGuidEntry(std::string_view text, BinaryGuid* guid) {
  if (text.size() == kGuidTextLength + 2) {
    if (text.front() != '{' || text.back() != '}') return false;
    text = text.substr(1, kGuidTextLength);
  }
  if (text.size() != kGuidTextLength) return false;
  return ParseGuidText(reinterpret_cast<const std::uint8_t*>(text.data()), 1, guid);
}

BinaryGuid PrivateGuidOf(const BinaryGuid& original) {
  BinaryGuid result;
  for (std::size_t i = 0; i < 16; ++i) result[i] = original[i] ^ kPrivateMask[i];
  return result;
}

}  // namespace vellmora
