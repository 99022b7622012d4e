#include "engine/player_theme.h"

#include <string>

#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_errors.h"
#include "app/text.h"
#include "platform/files.h"

namespace vellmora {
namespace {

constexpr const wchar_t* kQmlCacheFiles[] = {
    L"08523e4e67271599f5bb2e57c07b4108dc314c3d.qmlc",
    L"755080695C2EB9FE522A948F55FB7FB092A25767.qmlc",
};

enum class Wanted { kFile, kDirectory };

// Empty when the entry is what is wanted; otherwise the detail that ends the log line.
std::string MissingDetail(const platform::Path& path, Wanted wanted) {
  platform::FileStatus status;
  const platform::Win32Error error = platform::GetFileStatus(path, &status);
  if (error != platform::kErrorSuccess) {
    if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) return ".";
    return " (Windows error " + std::to_string(error) + ": " + SystemErrorText(error) + ").";
  }
  const bool directory = (status.attributes & platform::kAttributeDirectory) != 0;
  const bool link = (status.attributes & platform::kAttributeReparsePoint) != 0;
  if (link || directory != (wanted == Wanted::kDirectory)) return ".";
  return {};
}

bool Require(InstallerEngine& engine, const platform::Path& path, Wanted wanted, const char* what) {
  const std::string detail = MissingDetail(path, wanted);
  if (detail.empty()) return true;
  ReportLog(engine, std::string("The personalized Vellmora v3 ") + what +
                        " is missing or unreadable: " + ToUtf8(path) + detail);
  return false;
}

}  // namespace

bool VerifyPlayerTheme(InstallerEngine& engine) {
  const platform::Path install_dir = engine.paths.InstallDir();
  for (const wchar_t* name : {L"Vellmora.exe", L"ProductLogo.ico"}) {
    if (!Require(engine, JoinPath(install_dir, name), Wanted::kFile, "theme file")) return false;
  }
  const platform::Path cache =
      JoinPath(JoinPath(engine.paths.local_app_data, L"DO-Rarari_ovm5"), L"cache\\qmlcache");
  if (!Require(engine, cache, Wanted::kDirectory, "QML cache directory")) return false;
  for (const wchar_t* name : kQmlCacheFiles) {
    if (!Require(engine, JoinPath(cache, name), Wanted::kFile, "QML cache file")) return false;
  }
  ReportLog(engine, "[+] Personalized Vellmora v3 theme and driverless WHPX runtime verified.");
  return true;
}

}  // namespace vellmora
