#include "package_check/package_check.h"

#include "app/file_helpers.h"
#include "app/install_log.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/text.h"
#include "package/archive_tool.h"
#include "package/package_layouts.h"
#include "package/package_validation.h"

namespace vellmora::package_check {
namespace {

// The installation log's bytes from offset on.
std::string LogSince(std::size_t offset) {
  std::string text;
  if (!ReadWholeFile(InstallLog::Instance().CurrentPath(), &text) || text.size() < offset) return {};
  return text.substr(offset);
}

std::size_t LogSize() { return LogSince(0).size(); }

// The archive tool written from the installer's resources into a staging directory of its own, as
// every installer operation that opens an archive does; removed again on destruction.
class StagedArchiveTool {
 public:
  explicit StagedArchiveTool(InstallerEngine& engine) : staging_(CreateStagingDirectory(engine)) {
    if (staging_.empty()) return;
    const Path tool = JoinPath(staging_, kArchiveToolFileName);
    if (WriteResourceToFile(engine, kArchiveToolResource, tool) &&
        WriteResourceToFile(engine, kArchiveLibraryResource, JoinPath(staging_, kArchiveLibraryFileName)) &&
        WriteResourceToFile(engine, kArchiveLicenceResource, JoinPath(staging_, kArchiveLicenceFileName))) {
      tool_ = tool;
    } else {
      ReportLog(engine, "The embedded archive tool could not be written to " + ToUtf8(staging_) + ".");
    }
  }
  ~StagedArchiveTool() {
    if (!staging_.empty()) RemoveStagingDirectory(staging_);
  }
  StagedArchiveTool(const StagedArchiveTool&) = delete;
  StagedArchiveTool& operator=(const StagedArchiveTool&) = delete;

  const Path& Tool() const { return tool_; }

 private:
  Path staging_;
  Path tool_;
};

}  // namespace

int CheckPackage(const std::string& kind, const platform::Path& archive, std::string* out_lines) {
  const PackageLayout& layout = kind == "engine" ? EnginePackageLayout() : InstancePackageLayout();
  InstallerEngine engine;
  const std::size_t log_start = LogSize();
  engine.BeginOperation("Checking the Vellmora " + kind + " package");
  bool accepted = false;
  {
    StagedArchiveTool staged(engine);
    accepted = !staged.Tool().empty() &&
               ValidatePackage(engine, layout, staged.Tool(), archive, Path());
  }
  ReportFinish(engine, accepted,
               accepted ? "The installer would accept this " + kind + " package."
                        : "The installer would reject this " + kind + " package.");
  *out_lines = LogSince(log_start);
  return accepted ? kAccepted : kRejected;
}

}  // namespace vellmora::package_check
