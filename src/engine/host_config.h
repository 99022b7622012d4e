#pragma once
// HostConfig: the Engine's host configuration "VellmoraOX.conf", key="value" lines with "klv."
// keys, edited as text so that every line this system does not touch keeps its bytes, its order
// and its line ending.

#include <string>
#include <vector>

namespace vellmora {

class HostConfig {
 public:
  explicit HostConfig(std::string text = {}) : text_(std::move(text)) {}

  const std::string& Text() const { return text_; }

  // The first line that begins with key + "=" becomes key="value" (its line ending kept; later
  // lines of the key stay). Without one, key="value" and "\r\n" are appended, after a "\r\n" when
  // the last line has no line ending.
  void SetValue(const std::string& key, const std::string& value);
  // Removes every line that begins with one of the prefixes, with its line ending.
  void RemoveLinesWithPrefixes(const std::vector<std::string>& prefixes);
  // Every occurrence of token, left to right, going on after each inserted value.
  void ReplaceAll(const std::string& token, const std::string& value);

 private:
  std::string text_;
};

}  // namespace vellmora
