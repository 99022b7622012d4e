#include <string>

#include "forge/forge.h"

namespace forge {

namespace {

std::string JsonRelease(const PackageOptions& options) {
  std::string release = options.release_id;
  const std::size_t plus = release.find('+');
  if (options.escape_release_plus && plus != std::string::npos)
    release.replace(plus, 1, "\\u002B");
  return release;
}

}  // namespace

std::string ManifestText(const PackageOptions& options) {
  if (!options.manifest_text.empty()) return options.manifest_text;
  const bool engine = options.kind == PackageKind::kEngine;
  std::string text = "{\n  \"schemaVersion\": 2,\n  \"package\": {\n";
  text += std::string("    \"kind\": \"") + (engine ? "engine" : "instance") + "\",\n";
  text += "    \"version\": \"" + options.manifest_version + "\",\n";
  text += std::string("    \"name\": \"") + (engine ? "Vellmora Engine" : "Vellmora Pie64") +
          "\"\n  },\n";
  text += "  \"releaseId\": \"" + JsonRelease(options) + "\",\n";
  if (!engine && options.manifest_root_disk) {
    text +=
        "  \"disks\": {\n"
        "    \"root\": { \"file\": \"Root.vhd\", \"mode\": \"normal\" },\n"
        "    \"boot\": { \"file\": \"fastboot.vdi\", \"mode\": \"readonly\" },\n"
        "    \"data\": { \"file\": \"Data.vhdx\", \"mode\": \"normal\" }\n"
        "  },\n";
  }
  text += "  \"roots\": [";
  bool first = true;
  for (const std::string& root : AllowedRoots(options.kind)) {
    if (root == "package-manifest.json") continue;
    text += std::string(first ? "" : ", ") + "\"" + root + "\"";
    first = false;
  }
  text += "]\n}\n";
  return text;
}

}  // namespace forge
