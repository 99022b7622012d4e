#include "instance/product_shortcuts.h"

#include "app/file_helpers.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_errors.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/shell_link.h"
#include "platform/system.h"
#include "windows/process_control.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kLauncherExitWaitMs = 10000;

bool IsAbsent(platform::Win32Error error) {
  return error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
}

// The entry's status; absent is not an error, anything else the caller cannot decide on.
platform::FileStatus StatusOrThrow(const Path& path) {
  platform::FileStatus status;
  const platform::Win32Error error = platform::GetFileStatus(path, &status);
  if (error == platform::kErrorSuccess) return status;
  if (IsAbsent(error)) return {};
  throw FileSystemError("status", path, error);
}

bool IsRegularFile(const platform::FileStatus& status) {
  return status.attributes != platform::kInvalidFileAttributes &&
         (status.attributes & (platform::kAttributeDirectory | platform::kAttributeReparsePoint)) == 0;
}

// The two places a shortcut of the given name lives; an unusable Start-menu folder gives none.
std::vector<Path> ShortcutPaths(const InstallerEngine& engine, const wchar_t* name) {
  std::vector<Path> paths;
  for (const Path& folder : {engine.paths.desktop, engine.paths.start_menu_folder}) {
    if (IsAbsolutePath(folder)) paths.push_back(JoinPath(folder, name));
  }
  return paths;
}

}  // namespace

bool CreateShellShortcut(const Path& link_path, const Path& target, const std::wstring& arguments,
                         const std::wstring& description) {
  CreateDirectoryWithParents(ParentPath(link_path));  // a failure shows in the save
  platform::ShellLink link;
  link.target = target;
  link.arguments = arguments;
  link.working_directory = ParentPath(target);
  link.description = description;
  return platform::SaveShellLinkW(link_path, link) == platform::kErrorSuccess;
}

bool CreateProductShortcuts(InstallerEngine& engine) {
  if (!engine.paths.IsValid()) return false;
  const Path program = JoinPath(engine.paths.InstallDir(), kPlayerExe);
  bool created = false;
  if (IsRegularFile(StatusOrThrow(program))) {
    const std::vector<Path> links = ShortcutPaths(engine, kProductShortcutName);
    created = links.size() == 2 &&
              CreateShellShortcut(links[0], program, kPlayerArguments, L"Abrir Vell Mora") &&
              CreateShellShortcut(links[1], program, kPlayerArguments, L"Abrir Vell Mora");
  }
  if (created) {
    for (const Path& legacy : ShortcutPaths(engine, kLegacyPie64ShortcutName)) {
      const platform::Win32Error error = platform::DeleteFileW(legacy);
      if (error != platform::kErrorSuccess && !IsAbsent(error)) {
        ReportLog(engine, "Warning: the legacy Pie64 shortcut could not be removed: " + ToUtf8(legacy));
      }
    }
  }
  ReportLog(engine, created ? "Vell Mora shortcuts created."
                            : "Warning: Vell Mora shortcuts could not be created.");
  return created;
}

bool RemoveCompatibilityLauncher(InstallerEngine& engine) {
  if (!engine.paths.IsValid()) return false;
  const Path install_dir = engine.paths.InstallDir();
  const Path launcher = JoinPath(install_dir, kLauncherExe);
  bool removed = true;
  if (IsRegularFile(StatusOrThrow(launcher))) {
    removed = WaitForNamedProcessesToExit(install_dir, LauncherName(), kLauncherExitWaitMs,
                                          platform::GetCurrentProcessId()) &&
              platform::DeleteFileW(launcher) == platform::kErrorSuccess;
  }
  for (const Path& legacy : ShortcutPaths(engine, kLegacyInstancesShortcutName)) {
    platform::FileStatus status;
    if (platform::GetFileStatus(legacy, &status) != platform::kErrorSuccess) continue;
    if (platform::DeleteFileW(legacy) != platform::kErrorSuccess) removed = false;
  }
  ReportLog(engine, removed ? "Engine configured for direct Vellmora startup without a "
                              "compatibility launcher."
                            : "Warning: the compatibility launcher or a legacy instance shortcut "
                              "could not be removed.");
  return removed;
}

}  // namespace vellmora
