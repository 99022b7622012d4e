#include "app/progress_report.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/build_info.h"
#include "app/install_log.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/text.h"
#include "platform/paths.h"
#include "platform/security.h"
#include "platform/system.h"
#include "platform/volumes.h"

namespace vellmora {
namespace {

constexpr std::size_t kModulePathLimit = 32768;

std::string CurrentLogPathText() { return ToUtf8(InstallLog::Instance().CurrentPath()); }

const char* FinalStateText(bool chained, bool restart_required, bool success) {
  if (chained) {
    return success ? "Preparing the next installation step" : "Recovering the previous installation";
  }
  if (restart_required) return "Restart required";
  return success ? "Completed" : "Operation failed";
}

std::string ExecutablePathText() {
  platform::Path module = platform::GetModuleFileNameW();
  if (module.empty() || module.size() >= kModulePathLimit) return "unavailable";
  return ToUtf8(module);
}

std::string FreeBytesText(const platform::Path& install_base) {
  std::uint64_t free_bytes = 0;
  if (platform::GetDiskFreeSpaceExW(RootOf(install_base), &free_bytes) !=
      platform::kErrorSuccess) {
    return "unavailable";
  }
  return std::to_string(free_bytes);
}

std::string ElevationText() {
  bool elevated = false;
  return platform::GetTokenElevation(&elevated) == platform::kErrorSuccess && elevated ? "yes"
                                                                                       : "no";
}

}  // namespace

void InstallerSnapshot::AppendLine(const std::string& text) {
  platform::SystemTime now = platform::GetLocalTime();
  char time_text[24];
  std::snprintf(time_text, sizeof time_text, "[%02u:%02u:%02u]", now.hour, now.minute, now.second);
  log_lines.push_back(text);
  log_times.push_back(time_text);
  if (log_lines.size() > kVisibleLogLimit) {
    std::size_t excess = log_lines.size() - kVisibleLogLimit;
    log_lines.erase(log_lines.begin(), log_lines.begin() + static_cast<std::ptrdiff_t>(excess));
    log_times.erase(log_times.begin(), log_times.begin() + static_cast<std::ptrdiff_t>(excess));
  }
}

void ReportLog(InstallerEngine& engine, const std::string& message) {
  WriteDiagnostic("LOG: " + message);
  std::string log_path = CurrentLogPathText();
  std::lock_guard<std::mutex> guard(engine.lock);
  engine.view.log_path = log_path;
  engine.view.AppendLine(message);
}

void ReportStage(InstallerEngine& engine, const std::string& title, const std::string& detail) {
  WriteDiagnostic("STAGE: " + title + (detail.empty() ? std::string() : " | " + detail));
  std::string log_path = CurrentLogPathText();
  std::lock_guard<std::mutex> guard(engine.lock);
  engine.view.log_path = log_path;
  bool changed = engine.view.stage_title != title || engine.view.stage_detail != detail;
  engine.view.stage_title = title;
  engine.view.stage_detail = detail;
  if (changed) engine.view.AppendLine(detail.empty() ? title : title + ": " + detail);
}

void ReportFinish(InstallerEngine& engine, bool success, const std::string& message) {
  InstallerSnapshot before = engine.TakeSnapshot();
  // Truncated toward zero; a progress outside 0..1 (or NaN) is never converted as it is.
  float progress = before.progress >= 0.0f ? std::min(before.progress, 1.0f) : 0.0f;
  auto percent = static_cast<int>(progress * 100.0f);
  WriteDiagnostic(std::string(success ? "FINISH SUCCESS: " : "FINISH ERROR: ") + message +
                  " | stage=" + before.stage_title + " | progress=" + std::to_string(percent) +
                  "%");
  std::string log_path = CurrentLogPathText();
  std::lock_guard<std::mutex> guard(engine.lock);
  InstallerSnapshot& view = engine.view;
  view.log_path = log_path;
  bool chained = engine.chained;
  view.busy = chained;
  view.last_succeeded = success;
  view.stage_detail = message;
  view.stage_title = FinalStateText(chained, view.restart_required, success);
  if (success) view.progress = engine.progress_range_end;
  if (!message.empty() && (view.log_lines.empty() || view.log_lines.back() != message)) {
    view.AppendLine(message);
  }
  engine.RefreshInstallationState();
}

void WriteOperationHeader(InstallerEngine& engine, const std::string& title) {
  WriteDiagnostic(std::string(80, '='));
  WriteDiagnostic("BEGIN: " + title + " | installer_build=" + kInstallerBuild +
                  " | package_release=" + kPackageRelease);
  std::string exe = ExecutablePathText();
  std::string free_bytes = FreeBytesText(engine.paths.install_base);
  std::string elevated = ElevationText();
  WriteDiagnostic("CONTEXT: exe=" + exe + " | install=" + ToUtf8(engine.paths.InstallDir()) +
                  " | data=" + ToUtf8(engine.paths.DataDir()) + " | elevated=" + elevated +
                  " | free_bytes=" + free_bytes);
}

}  // namespace vellmora
