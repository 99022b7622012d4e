#include "app/path_helpers.h"

#include <vector>

#include "app/text.h"
#include "platform/paths.h"

namespace vellmora {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// End of "server\share" starting at start (the two components of a UNC root name).
std::size_t EndOfServerShare(const Path& path, std::size_t start) {
  std::size_t end = start;
  while (end < path.size() && !IsSeparator(path[end])) ++end;
  if (end == path.size()) return end;
  ++end;
  while (end < path.size() && !IsSeparator(path[end])) ++end;
  return end;
}

// Length of the root name: "C:" (2), "\\?\C:" (6), "\\server\share" and "\\?\UNC\server\share".
std::size_t RootNameLength(const Path& path) {
  bool verbatim = path.size() >= 4 && path.compare(0, 4, L"\\\\?\\") == 0;
  std::size_t start = verbatim ? 4 : 0;
  if (verbatim && path.size() >= 8 && EqualsIgnoringAsciiCase(path.substr(4, 4), L"UNC\\")) {
    return EndOfServerShare(path, 8);
  }
  if (path.size() >= start + 2 && IsDriveLetter(path[start]) && path[start + 1] == L':') {
    return start + 2;
  }
  if (verbatim) return start;
  if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2])) {
    return EndOfServerShare(path, 2);
  }
  return 0;
}

std::size_t RootLength(const Path& path) {
  std::size_t length = RootNameLength(path);
  while (length < path.size() && IsSeparator(path[length])) ++length;
  return length;
}

}  // namespace

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

Path RootOf(const Path& path) { return path.substr(0, RootLength(path)); }

bool IsAbsolutePath(const Path& path) {
  std::size_t name = RootNameLength(path);
  return name > 0 && name < path.size() && IsSeparator(path[name]);
}

Path JoinPath(const Path& base, const Path& name) {
  if (base.empty()) return name;
  if (IsSeparator(base.back())) return base + name;
  return base + L"\\" + name;
}

Path ParentPath(const Path& path) {
  std::size_t root = RootLength(path);
  std::size_t end = path.size();
  while (end > root && IsSeparator(path[end - 1])) --end;
  while (end > root && !IsSeparator(path[end - 1])) --end;
  while (end > root && IsSeparator(path[end - 1])) --end;
  return path.substr(0, end);
}

Path LastComponent(const Path& path) {
  std::size_t root = RootLength(path);
  std::size_t end = path.size();
  while (end > root && IsSeparator(path[end - 1])) --end;
  std::size_t begin = end;
  while (begin > root && !IsSeparator(path[begin - 1])) --begin;
  return path.substr(begin, end - begin);
}

Path LexicallyNormal(const Path& path) {
  std::size_t name_length = RootNameLength(path);
  Path root = path.substr(0, name_length);
  for (wchar_t& c : root) {
    if (c == L'/') c = L'\\';
  }
  std::size_t at = name_length;
  bool rooted = at < path.size() && IsSeparator(path[at]);
  std::vector<Path> parts;
  bool trailing = false;
  while (at < path.size()) {
    while (at < path.size() && IsSeparator(path[at])) ++at;
    std::size_t end = at;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end == at) break;
    Path part = path.substr(at, end - at);
    trailing = end < path.size();
    if (part == L".") {
      trailing = true;
    } else if (part == L"..") {
      if (!parts.empty() && parts.back() != L"..") {
        parts.pop_back();
      } else if (!rooted) {
        parts.push_back(part);
      }
      trailing = true;
    } else {
      parts.push_back(part);
    }
    at = end;
  }
  Path out = root;
  if (rooted) out += L'\\';
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += L'\\';
    out += parts[i];
  }
  if (trailing && !parts.empty()) out += L'\\';
  return out;
}

Path WithoutTrailingSeparators(const Path& path) {
  Path out = path;
  while (out.size() > 3 && IsSeparator(out.back())) out.pop_back();
  return out;
}

std::wstring PathKey(const Path& path) {
  Path full;
  if (platform::GetFullPathNameW(path, &full) != platform::kErrorSuccess || full.empty()) {
    full = path;
  }
  Path key = LexicallyNormal(full);
  if (key.size() >= 4 && key.compare(0, 4, L"\\\\?\\") == 0) key.erase(0, 4);
  for (wchar_t& c : key) {
    if (c == L'/') c = L'\\';
  }
  key = ToLowerCase(key);
  while (key.size() > 3 && key.back() == L'\\') key.pop_back();
  return key;
}

bool IsPathInside(const Path& path, const Path& directory) {
  std::wstring inner = PathKey(path);
  std::wstring outer = PathKey(directory);
  // A drive root's key already ends in its separator; doubling it would put nothing inside C:\.
  if (outer.empty() || outer.back() != L'\\') outer += L'\\';
  return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0;
}

}  // namespace vellmora

