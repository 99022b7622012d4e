#include "package/package_manifest.h"

#include "app/file_helpers.h"
#include "package/package_manifest_text.h"

namespace vellmora {

bool ManifestMatches(const platform::Path& manifest, const std::string& kind) {
  std::string text;
  return ReadWholeFile(manifest, &text) && ManifestTextMatches(text, kind);
}

bool InstanceManifestHasRootDisk(const platform::Path& manifest) {
  if (!ManifestMatches(manifest, "instance")) return false;
  std::string text;
  return ReadWholeFile(manifest, &text) && ManifestTextHasRootDisk(text);
}

}  // namespace vellmora
