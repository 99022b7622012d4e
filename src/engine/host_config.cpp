#include "engine/host_config.h"

#include "engine/path_mapping.h"

namespace vellmora {
namespace {

// Where the line that starts at `start` ends: its content's end (before "\r\n" or "\n") and the
// start of the next line.
struct LineEnd {
  std::size_t content_end;
  std::size_t next_start;
};
LineEnd EndOfLine(const std::string& text, std::size_t start) {
  const std::size_t newline = text.find('\n', start);
  if (newline == std::string::npos) return {text.size(), text.size()};
  const std::size_t content_end = newline > start && text[newline - 1] == '\r' ? newline - 1
                                                                                : newline;
  return {content_end, newline + 1};
}

bool LineStartsWith(const std::string& text, std::size_t start, const std::string& prefix) {
  return text.compare(start, prefix.size(), prefix) == 0;
}

}  // namespace

void HostConfig::SetValue(const std::string& key, const std::string& value) {
  const std::string setting = key + "=\"" + value + "\"";
  const std::string match = key + "=";
  for (std::size_t start = 0; start < text_.size();) {
    const LineEnd end = EndOfLine(text_, start);
    if (LineStartsWith(text_, start, match) && start + match.size() <= end.content_end) {
      text_.replace(start, end.content_end - start, setting);
      return;
    }
    start = end.next_start;
  }
  if (!text_.empty() && text_.back() != '\n') text_ += "\r\n";
  text_ += setting + "\r\n";
}

void HostConfig::RemoveLinesWithPrefixes(const std::vector<std::string>& prefixes) {
  for (std::size_t start = 0; start < text_.size();) {
    bool matched = false;
    for (const std::string& prefix : prefixes) {
      if (!prefix.empty() && LineStartsWith(text_, start, prefix)) {
        matched = true;
        break;
      }
    }
    const LineEnd end = EndOfLine(text_, start);
    if (matched) {
      text_.erase(start, end.next_start - start);
    } else {
      start = end.next_start;
    }
  }
}

void HostConfig::ReplaceAll(const std::string& token, const std::string& value) {
  ReplaceAllOccurrences(&text_, token, value);
}

}  // namespace vellmora
