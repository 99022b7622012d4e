#include "package/package_manifest_text.h"

#include "app/build_info.h"

namespace vellmora {
namespace {

std::string WithoutWhiteSpace(std::string_view text) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r') {
      compact.push_back(c);
    }
  }
  return compact;
}

bool Contains(std::string_view text, std::string_view fragment) {
  return text.find(fragment) != std::string_view::npos;
}

bool NamesTheRelease(std::string_view compact) {
  std::string release = kPackageReleaseId;
  if (Contains(compact, "\"releaseId\":\"" + release + "\"")) return true;
  std::size_t plus = release.find('+');
  if (plus == std::string::npos) return false;
  release.replace(plus, 1, "\\u002B");
  return Contains(compact, "\"releaseId\":\"" + release + "\"");
}

}  // namespace

bool ManifestTextMatches(std::string_view text, const std::string& kind) {
  const std::string compact = WithoutWhiteSpace(text);
  constexpr std::string_view kPackageObject = "\"package\":{";
  std::size_t object_start = std::string::npos;
  std::size_t object_end = std::string::npos;
  if (compact.size() >= 11) {
    object_start = compact.find(kPackageObject);
    if (object_start != std::string::npos) object_end = compact.find('}', object_start);
  }
  if (compact.size() <= 16 || !Contains(compact, "\"schemaVersion\":2") ||
      object_start == std::string::npos || object_end == std::string::npos) {
    return false;
  }
  if (kind == "engine" && !NamesTheRelease(compact)) return false;

  std::string_view package = std::string_view(compact).substr(object_start, object_end - object_start);
  constexpr std::string_view kVersionKey = "\"version\":\"";
  std::size_t version_key = package.find(kVersionKey);
  if (version_key == std::string_view::npos) return false;
  std::size_t value_start = version_key + kVersionKey.size();
  std::size_t value_end = package.find('"', value_start);
  if (value_end == std::string_view::npos) return false;
  if (!Contains(package, "\"kind\":\"" + kind + "\"")) return false;
  return package.substr(value_start, value_end - value_start) == kPackageRelease;
}

bool ManifestTextHasRootDisk(std::string_view text) {
  const std::string compact = WithoutWhiteSpace(text);
  return compact.size() > 50 &&
         Contains(compact, "\"disks\":{\"root\":{\"file\":\"Root.vhd\",\"mode\":\"normal\"}");
}

}  // namespace vellmora
