#include "app/installer_engine.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/adb_port.h"
#include "app/destination_selection.h"
#include "app/install_log.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

// std::clamp keeps a NaN, which would poison the progress and later become an integer
// percentage; a fraction nobody can read counts as nothing done.
float ClampFraction(float value, float low) {
  if (std::isnan(value)) return low;
  return std::clamp(value, low, 1.0f);
}

}  // namespace

InstallerEngine& InstallerEngine::Instance() {
  static InstallerEngine engine;
  return engine;
}

InstallerEngine::InstallerEngine(InstallationProbes installation_probes)
    : probes(std::move(installation_probes)) {
  paths = DetectInstallPaths();
  AdoptRegisteredInstallation(&paths);
  adb_port = ChooseAdbPort();
  std::lock_guard<std::mutex> guard(lock);
  for (const auto& root : ListFixedDrives()) view.fixed_drives.push_back(ToUtf8(root));
  RefreshDisplayPaths();
  view.log_path = ToUtf8(InstallLog::Instance().CurrentPath());
  RefreshInstallationState();
  if (view.engine_installed) {
    view.stage_title = view.pie64_installed ? "Vellmora and Pie64 are installed"
                                            : "Vellmora Engine installed; Pie64 available";
  }
}

InstallerSnapshot InstallerEngine::TakeSnapshot() {
  std::lock_guard<std::mutex> guard(lock);
  return view;
}

void InstallerEngine::BeginOperation(const std::string& title) {
  WriteOperationHeader(*this, title);
  std::string log_path = ToUtf8(InstallLog::Instance().CurrentPath());
  std::lock_guard<std::mutex> guard(lock);
  progress_range_start = 0.0f;
  progress_range_end = 1.0f;
  chained = false;
  view.busy = true;
  view.last_succeeded = false;
  view.restart_required = false;
  view.progress = 0.0f;
  view.stage_title = title;
  view.stage_detail.clear();
  view.log_path = log_path;
  view.log_lines.clear();
  view.log_times.clear();
}

void InstallerEngine::SetProgress(float fraction) {
  fraction = ClampFraction(fraction, 0.0f);
  std::lock_guard<std::mutex> guard(lock);
  view.progress = progress_range_start + (progress_range_end - progress_range_start) * fraction;
}

void InstallerEngine::SetProgressRange(float start, float end) {
  start = ClampFraction(start, 0.0f);
  end = ClampFraction(end, start);
  std::lock_guard<std::mutex> guard(lock);
  progress_range_start = start;
  progress_range_end = end;
  view.progress = start;
}

void InstallerEngine::SetChained(bool chained_steps) {
  std::lock_guard<std::mutex> guard(lock);
  chained = chained_steps;
}

void InstallerEngine::MarkRestartRequired() {
  WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"RebootRequired", 1);
  std::lock_guard<std::mutex> guard(lock);
  view.restart_required = true;
}

void InstallerEngine::RefreshDisplayPaths() {
  view.destination_root_text = ToUtf8(RootOf(paths.install_base));
  view.install_dir_text = ToUtf8(paths.InstallDir());
  view.data_dir_text = ToUtf8(paths.DataDir());
}

void InstallerEngine::RefreshInstallationState() {
  view.engine_installed = probes.engine_installed(*this);
  view.pie64_installed = view.engine_installed && probes.pie64_registered(*this);
  view.installation_traces = probes.registered_installation(*this);
}

}  // namespace vellmora
