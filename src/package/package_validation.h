#pragma once
// What the installer proves about a package archive before it extracts anything else: its listing
// (paths, links, required layout) and its manifest, extracted alone into a validation directory
// beside the archive and matched as text. The publishers' checker runs exactly these.

#include <string>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;
struct PackageLayout;

// CheckArchiveListing with the layout's lists, then, only when that passed,
// InstallerEngine::ValidateArchiveManifest with the layout's kind. validation_dir may be empty.
bool ValidatePackage(InstallerEngine& engine, const PackageLayout& layout, const platform::Path& tool,
                     const platform::Path& archive, const platform::Path& validation_dir);
bool ValidateEnginePackage(InstallerEngine& engine, const platform::Path& tool,
                           const platform::Path& archive, const platform::Path& validation_dir);
bool ValidateInstancePackage(InstallerEngine& engine, const platform::Path& tool,
                             const platform::Path& archive, const platform::Path& validation_dir);

// The command line that extracts "package-manifest.json" alone into directory, writing no
// alternate stream ("-sns-") even if a listing had missed one.
std::wstring ManifestExtractionCommandLine(const platform::Path& tool, const platform::Path& archive,
                                           const platform::Path& directory);

}  // namespace vellmora
