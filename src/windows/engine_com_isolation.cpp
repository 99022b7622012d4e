#include "windows/engine_com_isolation.h"

#include <iterator>
#include <string>

#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_errors.h"
#include "app/text.h"
#include "platform/files.h"
#include "windows/engine_binary_personalization.h"
#include "windows/private_com_validation.h"

namespace vellmora {
namespace {

bool Fail(InstallerEngine& engine, const std::string& line) {
  ReportLog(engine, line);
  return false;
}

bool IsNotFound(platform::Win32Error error) {
  return error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
}

}  // namespace

bool IsolateEngineComIdentity(InstallerEngine& engine, const platform::Path& staged_engine_dir,
                              float progress_start, float progress_end) {
  const platform::Path server = JoinPath(staged_engine_dir, L"KolvSVC.exe");
  const platform::Path private_server = JoinPath(staged_engine_dir, L"VLMServ.exe");
  platform::FileStatus status;
  if (platform::GetFileStatus(private_server, &status) == platform::kErrorSuccess) {
    return Fail(engine, "The staged Engine already contains a private COM server name; refusing "
                        "an ambiguous package.");
  }
  const std::size_t count = std::size(kEngineComBinaries);
  const float span = progress_end - progress_start;
  std::size_t isolated = 0;
  std::size_t total = 0;
  for (std::size_t index = 0; index < count; ++index) {
    const EngineComBinary& binary = kEngineComBinaries[index];
    const platform::Path path = JoinPath(staged_engine_dir, binary.name);
    const platform::Win32Error error = platform::GetFileStatus(path, &status);
    if (error != platform::kErrorSuccess && !IsNotFound(error)) {
      throw FileSystemError("Query the status of a staged COM component", path, error);
    }
    const bool regular =
        error == platform::kErrorSuccess &&
        (status.attributes & (platform::kAttributeDirectory | platform::kAttributeReparsePoint)) == 0;
    if (regular) {
      ReportStage(engine, "Preparing the Vellmora Engine",
                  "Isolating COM in " + ToUtf8(binary.name) + "...");
      const PersonalizationResult result = PersonalizeEngineBinary(path, [&](double fraction) {
        engine.SetProgress(progress_start +
                           span * static_cast<float>((static_cast<double>(index) + fraction) /
                                                     static_cast<double>(count)));
      });
      if (!result.succeeded || !result.pe_image) {
        return Fail(engine, "The staged Engine COM component could not be personalized: " +
                                ToUtf8(path) + ".");
      }
      if (binary.required && result.replacements == 0) {
        return Fail(engine, "The staged Engine COM component lacks the expected source identity: " +
                                ToUtf8(path) + ".");
      }
      total += result.replacements;
      ++isolated;
    } else if (binary.required) {
      return Fail(engine, "The staged Engine is missing a COM component: " + ToUtf8(path) + ".");
    }
    engine.SetProgress(progress_start + span * static_cast<float>(index + 1) /
                                            static_cast<float>(count));
  }
  if (total == 0) return Fail(engine, "The Engine package contains no COM identity to isolate.");
  const platform::Win32Error renamed = platform::MoveFileExW(server, private_server, 0);
  if (renamed != platform::kErrorSuccess) {
    return Fail(engine, "The staged COM server could not be renamed: " + SystemErrorText(renamed) +
                            ".");
  }
  std::string error;
  if (!ValidatePrivateComIdentity(staged_engine_dir, &error)) {
    return Fail(engine, "The staged COM identity did not pass validation: " + error);
  }
  ReportLog(engine, "[+] Isolated staged COM identity across " + std::to_string(isolated) +
                        " binaries (" + std::to_string(total) + " replacements).");
  return true;
}

}  // namespace vellmora
