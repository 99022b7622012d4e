#include "ui/shell_open.h"

#include <optional>

#include "app/path_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/shell.h"

namespace vellmora {
namespace {

bool IsValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t code = 0;
    if (byte < 0x80) {
      ++i;
      continue;
    } else if (byte >= 0xC2 && byte <= 0xDF) {
      length = 2;
      code = byte & 0x1F;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      length = 3;
      code = byte & 0x0F;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      length = 4;
      code = byte & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::optional<platform::Path> TargetOf(const std::string& path, bool want_folder) {
  if (path.empty() || !IsValidUtf8(path)) return std::nullopt;
  platform::Path target = FromUtf8(path);
  if (want_folder) target = ParentPath(target);
  if (target.empty()) return std::nullopt;
  return target;
}

}  // namespace

bool PathExistsUtf8(const std::string& path, bool want_folder) {
  std::optional<platform::Path> target = TargetOf(path, want_folder);
  if (!target) return false;
  std::uint32_t attributes = platform::GetFileAttributesW(*target);
  if (attributes == platform::kInvalidFileAttributes) return false;
  bool is_folder = (attributes & platform::kAttributeDirectory) != 0;
  return is_folder == want_folder;
}

bool OpenWithShell(const std::string& path, bool want_folder) {
  if (!PathExistsUtf8(path, want_folder)) return false;
  return platform::ShellExecuteOpenW(*TargetOf(path, want_folder)) == platform::kErrorSuccess;
}

}  // namespace vellmora
