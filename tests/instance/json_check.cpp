#include "instance/json_check.h"

#include <cctype>

namespace vellmora::testing {
namespace {

class JsonCheck {
 public:
  explicit JsonCheck(const std::string& text) : text_(text) {}

  bool Whole() {
    Space();
    if (!Value(0)) return false;
    Space();
    return at_ == text_.size();
  }

 private:
  bool Value(int depth) {
    if (depth > 64 || at_ >= text_.size()) return false;
    const char c = text_[at_];
    if (c == '{') return Object(depth);
    if (c == '[') return Array(depth);
    if (c == '"') return String();
    if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) return Number();
    return Word("true") || Word("false") || Word("null");
  }
  bool Object(int depth) {
    ++at_;
    Space();
    if (Take('}')) return true;
    do {
      Space();
      if (at_ >= text_.size() || text_[at_] != '"' || !String()) return false;
      Space();
      if (!Take(':')) return false;
      Space();
      if (!Value(depth + 1)) return false;
      Space();
    } while (Take(','));
    return Take('}');
  }
  bool Array(int depth) {
    ++at_;
    Space();
    if (Take(']')) return true;
    do {
      Space();
      if (!Value(depth + 1)) return false;
      Space();
    } while (Take(','));
    return Take(']');
  }
  bool String() {
    ++at_;
    while (at_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[at_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (at_ >= text_.size()) return false;
        const char e = text_[at_++];
        if (e == 'u') {
          for (int i = 0; i < 4; ++i) {
            if (at_ >= text_.size() || !std::isxdigit(static_cast<unsigned char>(text_[at_++]))) {
              return false;
            }
          }
        } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
          return false;
        }
      }
    }
    return false;
  }
  bool Number() {
    Take('-');
    if (Take('0')) {
    } else if (!Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }
  bool Digits() {
    const std::size_t start = at_;
    while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) ++at_;
    return at_ > start;
  }
  bool Word(const char* word) {
    const std::string w = word;
    if (text_.compare(at_, w.size(), w) != 0) return false;
    at_ += w.size();
    return true;
  }
  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  void Space() {
    while (at_ < text_.size() && std::string(" \t\r\n").find(text_[at_]) != std::string::npos) ++at_;
  }

  const std::string& text_;
  std::size_t at_ = 0;
};

}  // namespace

bool IsValidJson(const std::string& text) { return JsonCheck(text).Whole(); }

}  // namespace vellmora::testing
