#pragma once
// Paths in error texts, as UTF-8 on both platforms (path::string() would use the Windows code
// page, and throws for a name it cannot hold).

#include <filesystem>
#include <string>

namespace forge {

inline std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// `path` with `suffix` appended to its last component.
inline std::filesystem::path WithSuffix(std::filesystem::path path, const char* suffix) {
  path += suffix;
  return path;
}

}  // namespace forge
