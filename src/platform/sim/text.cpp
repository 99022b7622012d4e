#include "platform/sim/text.h"

#include <locale.h>
#include <wctype.h>

namespace sim::internal {
namespace {

constexpr char32_t kEscapeBase = 0xDC00;

void AppendUtf8(char32_t c, std::string* out) {
  if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
    out->push_back(static_cast<char>(c - kEscapeBase));
  } else if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The length of the well-formed sequence at text[at], or 0.
size_t SequenceLength(const std::string& text, size_t at, char32_t* decoded) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                                  : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  *decoded = c;
  return length;
}

locale_t CaseLocale() {
  static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

wchar_t Upper(wchar_t c) {
  if (c < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
  locale_t locale = CaseLocale();
  return locale ? static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), locale)) : c;
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) AppendUtf8(static_cast<char32_t>(c), &out);
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    char32_t c = 0;
    size_t length = SequenceLength(text, at, &c);
    if (length == 0) {
      out.push_back(static_cast<wchar_t>(kEscapeBase + static_cast<unsigned char>(text[at])));
      ++at;
    } else {
      out.push_back(static_cast<wchar_t>(c));
      at += length;
    }
  }
  return out;
}

std::wstring Folded(const std::wstring& text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = Upper(c);
  return out;
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

bool GlobMatches(const std::wstring& pattern, const std::wstring& text) {
  // Iterative matching with one back-tracking point per star: linear enough for paths.
  size_t p = 0, t = 0, star = std::wstring::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() &&
               (pattern[p] == L'?' || Upper(pattern[p]) == Upper(text[t]))) {
      ++p;
      ++t;
    } else if (star != std::wstring::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts;
  size_t begin = 0;
  for (;;) {
    size_t end = text.find(separator, begin);
    parts.push_back(text.substr(begin, end - begin));
    if (end == std::wstring::npos) return parts;
    begin = end + 1;
  }
}

}  // namespace sim::internal
