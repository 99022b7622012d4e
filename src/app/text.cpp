#include "app/text.h"

#include <cstdio>
#include <cwctype>

namespace vellmora {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Code points of wide text: surrogate pairs are joined, lone surrogates and values beyond
// Unicode become the replacement character.
template <typename Visit>
void ForEachCodePoint(const std::wstring& text, Visit visit) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t unit = static_cast<char32_t>(text[i]);
    if (IsHighSurrogate(unit) && i + 1 < text.size() &&
        IsLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
      char32_t low = static_cast<char32_t>(text[++i]);
      visit(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit) || unit > 0x10FFFF) {
      visit(kReplacement);
    } else {
      visit(unit);
    }
  }
}

void AppendWide(std::wstring& out, char32_t code_point) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (code_point >= 0x10000) {
      code_point -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (code_point >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (code_point & 0x3FF)));
      return;
    }
  }
  out.push_back(static_cast<wchar_t>(code_point));
}

wchar_t LowerAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

}  // namespace

std::string ToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&](char32_t code_point) { AppendUtf8(out, code_point); });
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  std::wstring out;
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
               : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) {
      AppendWide(out, kReplacement);
      ++i;
      continue;
    }
    char32_t code_point = length == 1 ? lead : lead & (0xFF >> (length + 1));
    bool valid = true;
    for (int k = 1; k < length; ++k) {
      unsigned char next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) valid = false;
      code_point = (code_point << 6) | (next & 0x3F);
    }
    if (!valid || IsHighSurrogate(code_point) || IsLowSurrogate(code_point) ||
        code_point > 0x10FFFF) {
      AppendWide(out, kReplacement);
      ++i;
      continue;
    }
    AppendWide(out, code_point);
    i += static_cast<std::size_t>(length);
  }
  return out;
}

std::wstring WidenBytes(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (char c : text) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return out;
}

std::string NarrowToLowBytes(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) out.push_back(static_cast<char>(static_cast<std::uint32_t>(c) & 0xFF));
  return out;
}

std::vector<std::uint8_t> ToUtf16LeBytes(const std::wstring& text, bool terminate) {
  std::wstring units;
  if constexpr (sizeof(wchar_t) == 2) {
    units = text;
  } else {
    for (wchar_t c : text) {
      char32_t code_point = static_cast<char32_t>(c);
      if (code_point >= 0x10000 && code_point <= 0x10FFFF) {
        code_point -= 0x10000;
        units.push_back(static_cast<wchar_t>(0xD800 + (code_point >> 10)));
        units.push_back(static_cast<wchar_t>(0xDC00 + (code_point & 0x3FF)));
      } else {
        units.push_back(code_point > 0x10FFFF ? static_cast<wchar_t>(kReplacement) : c);
      }
    }
  }
  if (terminate) units.push_back(L'\0');
  std::vector<std::uint8_t> bytes;
  bytes.reserve(units.size() * 2);
  for (wchar_t unit : units) {
    auto value = static_cast<std::uint32_t>(unit);
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
  }
  return bytes;
}

std::wstring FromUtf16LeBytes(const std::uint8_t* bytes, std::size_t size) {
  std::wstring units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    auto unit = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit == L'\0') break;
    units.push_back(unit);
  }
  if constexpr (sizeof(wchar_t) == 2) {
    return units;
  } else {
    std::wstring out;
    ForEachCodePoint(units, [&](char32_t code_point) { AppendWide(out, code_point); });
    return out;
  }
}

std::wstring TrimLeadingWhitespace(const std::wstring& text) {
  std::size_t begin = 0;
  while (begin < text.size() && std::iswspace(static_cast<wint_t>(text[begin]))) ++begin;
  return text.substr(begin);
}

std::wstring TrimWhitespace(const std::wstring& text) {
  std::wstring out = TrimLeadingWhitespace(text);
  std::size_t end = out.size();
  while (end > 0 && std::iswspace(static_cast<wint_t>(out[end - 1]))) --end;
  out.resize(end);
  return out;
}

bool StartsWithIgnoringAsciiCase(const std::wstring& text, const std::wstring& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && StartsWithIgnoringAsciiCase(a, b);
}

std::wstring ToLowerCase(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return out;
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && ToLowerCase(a) == ToLowerCase(b);
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return EqualsIgnoringCase(FromUtf8(a), FromUtf8(b));
}

std::wstring QuoteArgument(const std::wstring& text) { return L"\"" + text + L"\""; }

std::size_t FormattedLength(int snprintf_result, std::size_t capacity) {
  if (snprintf_result <= 0 || capacity == 0) return 0;
  auto length = static_cast<std::size_t>(snprintf_result);
  return length < capacity ? length : capacity - 1;
}

std::string HexStatusCode(std::uint32_t code) {
  char text[16];
  const int written = std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
  return std::string(text, FormattedLength(written, sizeof text));
}

}  // namespace vellmora
