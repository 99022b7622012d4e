#include "instance/instance_metadata.h"

#include <cctype>
#include <cstdint>
#include <optional>

namespace vellmora {
namespace {

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::size_t SkipSpace(const std::string& text, std::size_t at) {
  while (at < text.size() && IsJsonSpace(text[at])) ++at;
  return at;
}

// at is an opening quote: the position after the closing one, npos when the string never ends.
std::size_t SkipString(const std::string& text, std::size_t at) {
  for (std::size_t i = at + 1; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      return i + 1;
    }
  }
  return std::string::npos;
}

// The array that follows the key "Organization": the positions of its '[' and its ']'.
struct ArraySpan {
  std::size_t open = std::string::npos;
  std::size_t close = std::string::npos;
};

// The matching ']' of the '[' at open, with strings skipped and nested arrays and objects
// counted; npos when the text ends first or the nesting does not match.
std::size_t MatchingBracket(const std::string& text, std::size_t open) {
  std::string pending;  // the closers still owed, innermost last
  for (std::size_t i = open; i < text.size();) {
    const char c = text[i];
    if (c == '"') {
      i = SkipString(text, i);
      if (i == std::string::npos) return std::string::npos;
      continue;
    }
    if (c == '[' || c == '{') {
      pending.push_back(c == '[' ? ']' : '}');
    } else if (c == ']' || c == '}') {
      if (pending.empty() || pending.back() != c) return std::string::npos;
      pending.pop_back();
      if (pending.empty()) return i;
    }
    ++i;
  }
  return std::string::npos;
}

std::optional<ArraySpan> FindOrganizationArray(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '"') {
      ++i;
      continue;
    }
    const std::size_t after = SkipString(text, i);
    if (after == std::string::npos) return std::nullopt;
    if (text.compare(i, after - i, "\"Organization\"") == 0) {
      std::size_t colon = SkipSpace(text, after);
      if (colon < text.size() && text[colon] == ':') {
        const std::size_t open = SkipSpace(text, colon + 1);
        if (open < text.size() && text[open] == '[') {
          ArraySpan span;
          span.open = open;
          span.close = MatchingBracket(text, open);
          if (span.close == std::string::npos) return std::nullopt;
          return span;
        }
      }
    }
    i = after;
  }
  return std::nullopt;
}

// The largest value of an "ID" member directly inside the array's objects; nullopt when none.
std::optional<std::int64_t> LargestId(const std::string& text, const ArraySpan& span) {
  std::optional<std::int64_t> largest;
  int depth = 0;  // 1: inside the array, 2: inside one of its objects
  for (std::size_t i = span.open; i < span.close;) {
    const char c = text[i];
    if (c == '"') {
      const std::size_t after = SkipString(text, i);
      if (depth == 2 && text.compare(i, after - i, "\"ID\"") == 0) {
        std::size_t at = SkipSpace(text, after);
        if (at < span.close && text[at] == ':') {
          at = SkipSpace(text, at + 1);
          const bool negative = at < span.close && text[at] == '-';
          if (negative) ++at;
          std::int64_t value = 0;
          bool digits = false;
          while (at < span.close && std::isdigit(static_cast<unsigned char>(text[at])) &&
                 value < (std::int64_t{1} << 53)) {
            value = value * 10 + (text[at] - '0');
            digits = true;
            ++at;
          }
          if (digits) {
            if (negative) value = -value;
            if (!largest || value > *largest) largest = value;
          }
        }
      }
      i = after;
      continue;
    }
    if (c == '[' || c == '{') ++depth;
    if (c == ']' || c == '}') --depth;
    ++i;
  }
  return largest;
}

std::string Pie64Entry(bool after_another, std::int64_t id) {
  std::string entry = after_another ? ",\r\n" : "";
  entry += "        {\r\n";
  entry += "            \"ID\" : " + std::to_string(id) + ",\r\n";
  entry += "            \"Name\" : \"Vellmora Pie64\",\r\n";
  entry += "            \"IsFolder\" : false,\r\n";
  entry += "            \"ParentFolder\" : -1,\r\n";
  entry += "            \"IsOpen\" : false,\r\n";
  entry += "            \"IsVisible\" : true,\r\n";
  entry += "            " + std::string(kPie64InstanceMarker) + "\r\n";
  entry += "        }\r\n    ";
  return entry;
}

}  // namespace

MetadataEdit AddPie64ToInstanceList(std::string* text) {
  if (text->find(kPie64InstanceMarker) != std::string::npos) return MetadataEdit::kAlreadyListed;
  const std::optional<ArraySpan> span = FindOrganizationArray(*text);
  if (!span) return MetadataEdit::kNoArray;
  const bool listed = SkipSpace(*text, span->open + 1) < span->close;
  const std::optional<std::int64_t> largest = LargestId(*text, *span);
  const std::int64_t id = largest && *largest >= 0 ? *largest + 1 : 0;
  text->insert(span->close, Pie64Entry(listed, id));
  return MetadataEdit::kAdded;
}

}  // namespace vellmora
