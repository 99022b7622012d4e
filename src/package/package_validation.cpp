#include "package/package_validation.h"

#include <cstdint>

#include "app/file_helpers.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "package/archive_listing_check.h"
#include "package/package_layouts.h"
#include "package/package_manifest.h"
#include "package/run_captured.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kManifestExtractionTimeLimitMs = 60000;
constexpr std::size_t kLoggedExtractorOutput = 1024;

std::string SignedCode(platform::Win32Error error) {
  return std::to_string(static_cast<std::int32_t>(error));
}

// Removes the validation directory on every way out; errors are of no use by then.
class ValidationDirectory {
 public:
  explicit ValidationDirectory(platform::Path path) : path_(std::move(path)) {}
  ~ValidationDirectory() { RemoveDirectoryTree(path_); }
  ValidationDirectory(const ValidationDirectory&) = delete;
  ValidationDirectory& operator=(const ValidationDirectory&) = delete;

 private:
  platform::Path path_;
};

}  // namespace

std::wstring ManifestExtractionCommandLine(const platform::Path& tool, const platform::Path& archive,
                                           const platform::Path& directory) {
  return QuoteArgument(tool) + L" e " + QuoteArgument(archive) + L" package-manifest.json -o" +
         QuoteArgument(directory) + L" -y -aoa -bsp0 -bb0 -bd -sns-";
}

bool InstallerEngine::ValidateArchiveManifest(const std::wstring& tool, const std::wstring& archive,
                                              const std::wstring& validation_dir,
                                              const std::string& kind) {
  const Path archive_dir = ParentPath(archive);
  const Path directory = validation_dir.empty()
                             ? JoinPath(archive_dir, L"ManifestValidation-" + NewGuidString(false))
                             : validation_dir;
  if (!IsPathInside(directory, archive_dir)) {
    ReportLog(*this, "Manifest validation path is outside the archive staging directory.");
    return false;
  }
  platform::Win32Error error = RemoveDirectoryTree(directory);
  if (error != platform::kErrorSuccess) {
    ReportLog(*this, "Manifest validation directory could not be cleared (Windows error " +
                         SignedCode(error) + ").");
    return false;
  }
  error = CreateDirectoryWithParents(directory);
  if (error != platform::kErrorSuccess) {
    ReportLog(*this, "Manifest validation directory could not be created (Windows error " +
                         SignedCode(error) + ").");
    return false;
  }
  ValidationDirectory removed_on_return(directory);

  std::uint32_t exit_code = 0;
  std::string output;
  platform::Win32Error windows_error = platform::kErrorSuccess;
  bool ran = RunCaptured(*this, ManifestExtractionCommandLine(tool, archive, directory),
                         kManifestExtractionTimeLimitMs, &exit_code, &output, &windows_error);
  if (!ran || exit_code != 0) {
    ReportLog(*this, "Manifest extraction failed: exit=" + std::to_string(exit_code) +
                         ", Windows error=" + std::to_string(windows_error) + ".");
    if (!output.empty()) {
      std::size_t keep = output.size() < kLoggedExtractorOutput ? output.size() : kLoggedExtractorOutput;
      ReportLog(*this, "Manifest extractor output: " + output.substr(output.size() - keep));
    }
    return false;
  }
  if (!IsPlainDirectoryTree(directory)) {
    ReportLog(*this, "Manifest validation directory contains an unsafe reparse point.");
    return false;
  }
  if (!ManifestMatches(JoinPath(directory, L"package-manifest.json"), kind)) {
    ReportLog(*this, "Package manifest does not match schema 2, kind " + kind +
                         " or contain a nonempty package version.");
    return false;
  }
  return true;
}

bool ValidatePackage(InstallerEngine& engine, const PackageLayout& layout, const platform::Path& tool,
                     const platform::Path& archive, const platform::Path& validation_dir) {
  return CheckArchiveListing(tool, archive, layout.required_markers, layout.allowed_roots) &&
         engine.ValidateArchiveManifest(tool, archive, validation_dir, layout.kind);
}

bool ValidateEnginePackage(InstallerEngine& engine, const platform::Path& tool,
                           const platform::Path& archive, const platform::Path& validation_dir) {
  return ValidatePackage(engine, EnginePackageLayout(), tool, archive, validation_dir);
}

bool ValidateInstancePackage(InstallerEngine& engine, const platform::Path& tool,
                             const platform::Path& archive, const platform::Path& validation_dir) {
  return ValidatePackage(engine, InstancePackageLayout(), tool, archive, validation_dir);
}

}  // namespace vellmora
