#include "app/destination_selection.h"

#include <algorithm>

#include "app/install_log.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/volumes.h"

namespace vellmora {

std::vector<platform::Path> ListFixedDrives() {
  std::vector<platform::Path> roots;
  if (platform::GetLogicalDriveStringsW(&roots) != platform::kErrorSuccess) return {};
  std::vector<platform::Path> fixed;
  for (const auto& root : roots) {
    platform::FileStatus status;
    if (platform::GetDriveTypeW(root) == platform::kDriveFixed &&
        platform::GetFileStatus(root, &status) == platform::kErrorSuccess) {
      fixed.push_back(root);
    }
  }
  std::sort(fixed.begin(), fixed.end());
  return fixed;
}

platform::Path FixedDriveRootOf(const platform::Path& path) {
  platform::Path root = RootOf(path);
  if (root.empty() || platform::GetDriveTypeW(root) != platform::kDriveFixed) return {};
  return root;
}

bool InstallerEngine::SelectDestination(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock);
  if (view.busy || text.empty()) return false;

  platform::Path requested = WidenBytes(text);
  if (requested.size() == 2 && requested[1] == L':' && IsDriveLetter(requested[0])) {
    requested += L'\\';
  }
  platform::Path root = FixedDriveRootOf(requested);
  if (root.empty()) {
    WriteDiagnostic("DRIVE REJECTED: not a fixed disk; requested=" + text);
    return false;
  }
  std::string root_text = ToUtf8(root);
  bool listed = std::any_of(view.fixed_drives.begin(), view.fixed_drives.end(),
                            [&](const std::string& drive) {
                              return EqualsIgnoringCase(drive, root_text);
                            });
  if (!listed) {
    WriteDiagnostic("DRIVE REJECTED: fixed disk is not in the available destination list; requested=" +
                    text);
    return false;
  }

  bool installed = view.engine_installed || view.pie64_installed ||
                   probes.registered_installation(*this);
  if (installed) {
    if (PathKey(RootOf(paths.install_base)) != PathKey(root)) {
      WriteDiagnostic(
          "DRIVE REJECTED: remove the existing Vellmora installation before selecting another "
          "disk; requested=" +
          text);
      return false;
    }
    view.stage_detail = "Existing Vellmora installation: " + view.install_dir_text;
    return true;
  }

  paths.PlaceOnDrive(root);
  RefreshDisplayPaths();
  RefreshInstallationState();
  view.stage_detail = "Selected destination: " + view.install_dir_text;
  return true;
}

}  // namespace vellmora
