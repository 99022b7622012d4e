#pragma once
// "package-manifest.json" files: the text checks of package_manifest_text.h applied to a file
// (the one extracted alone from a package, or the copy the Engine keeps in its data directory).

#include <string>

#include "platform/types.h"

namespace vellmora {

inline constexpr const char* kManifestFileName = "package-manifest.json";

// ManifestTextMatches on the file's bytes; false when it cannot be read.
bool ManifestMatches(const platform::Path& manifest, const std::string& kind);

// ManifestMatches for "instance", then the root disk entry in the file read again.
bool InstanceManifestHasRootDisk(const platform::Path& manifest);

}  // namespace vellmora
