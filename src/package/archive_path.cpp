#include "package/archive_path.h"

#include <array>
#include <string_view>

namespace vellmora {
namespace {

bool IsForbiddenByte(unsigned char byte) {
  if (byte < 32 || byte > 126) return true;
  switch (byte) {
    case '"':
    case '*':
    case ':':
    case '<':
    case '>':
    case '?':
    case '|':
      return true;
    default:
      return false;
  }
}

// Windows opens the device instead of a file for these stems, whatever the extension.
bool IsReservedDeviceStem(std::string_view stem) {
  static constexpr std::array<std::string_view, 5> kNames = {"con", "prn", "aux", "nul", "clock$"};
  for (std::string_view name : kNames) {
    if (stem == name) return true;
  }
  return stem.size() == 4 && (stem.substr(0, 3) == "com" || stem.substr(0, 3) == "lpt") &&
         stem[3] >= '1' && stem[3] <= '9';
}

bool IsAcceptableComponent(std::string_view component) {
  if (component.empty() || component == "." || component == "..") return false;
  if (component.back() == '.' || component.back() == ' ') return false;
  return !IsReservedDeviceStem(component.substr(0, component.find('.')));
}

}  // namespace

bool NormaliseArchivePath(std::string_view path, std::string* normalised) {
  if (path.empty() || path.size() > kMaxArchivePathBytes) return false;
  std::string result;
  result.reserve(path.size());
  for (unsigned char byte : path) {
    if (IsForbiddenByte(byte)) return false;
    if (byte == '\\') byte = '/';
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<unsigned char>(byte - 'A' + 'a');
    result.push_back(static_cast<char>(byte));
  }
  if (result.front() == '/') return false;
  if (result.size() > 1 && result.back() == '/') result.pop_back();

  std::string_view rest = result;
  for (;;) {
    std::size_t slash = rest.find('/');
    if (!IsAcceptableComponent(rest.substr(0, slash))) return false;
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  *normalised = std::move(result);
  return true;
}

NormalisedRoots NormaliseRoots(const std::vector<std::string>& roots) {
  NormalisedRoots normalised;
  normalised.reserve(roots.size());
  for (const std::string& root : roots) {
    std::string form;
    normalised.push_back(NormaliseArchivePath(root, &form) ? std::optional<std::string>(form)
                                                           : std::nullopt);
  }
  return normalised;
}

bool IsEntryAllowedIn(std::string_view entry, const NormalisedRoots& roots) {
  if (roots.empty()) return true;
  for (const std::optional<std::string>& normalised : roots) {
    if (!normalised) return false;
    std::string_view root = *normalised;
    if (entry == root) return true;
    if (root == "package-manifest.json") continue;
    std::string_view shorter = root.size() < entry.size() ? root : entry;
    std::string_view longer = root.size() < entry.size() ? entry : root;
    if (shorter.size() < longer.size() && longer.substr(0, shorter.size()) == shorter &&
        longer[shorter.size()] == '/') {
      return true;
    }
  }
  return false;
}

bool IsEntryAllowed(const std::string& entry, const std::vector<std::string>& roots) {
  return IsEntryAllowedIn(entry, NormaliseRoots(roots));
}

}  // namespace vellmora
