#pragma once
// Finding and ending the product's own processes before its files are replaced, repaired or
// removed. A process that has a listed name but cannot be inspected counts as running from the
// product: the checks err on the side of "still running". The installer never ends itself.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;
using platform::Path;

using ProcessNames = std::vector<std::wstring>;

// The callers' lists, in one place.
const ProcessNames& ProductProcessNames();
const ProcessNames& ForeignPlayerNames();
const ProcessNames& InstanceProcessNames();
const ProcessNames& LauncherMigrationNames();
const ProcessNames& SharedComOwnerNames();
const ProcessNames& LauncherName();

// <data dir>\Runtime\Pellucador_kta5.
Path CompatibilityRuntimeDir(const Path& data_dir);

// True when a process with a listed name runs from inside directory, when such a process cannot
// be inspected, or when no snapshot could be taken. excluded_pid (0: none) is skipped.
bool AnyNamedProcessUnder(const Path& directory, const ProcessNames& names,
                          std::uint32_t excluded_pid);
// AnyNamedProcessUnder over the install directory, then over the compatibility runtime directory.
bool NamedProcessRunningInProduct(const Path& install_dir, const Path& data_dir,
                                  const ProcessNames& names, std::uint32_t excluded_pid);
// True as soon as one scan finds no listed process inside directory and none uninspectable;
// false once timeout_ms has passed (0xFFFFFFFF: no limit).
bool WaitForNamedProcessesToExit(const Path& directory, const ProcessNames& names,
                                 std::uint32_t timeout_ms, std::uint32_t excluded_pid);

// The directories StopProcessesUnder ends processes in: the two defaults, then every acceptable
// product directory the registry names (HKLM, then HKCU), without duplicates.
struct StopDirectoryList {
  std::vector<Path> directories;
  bool foreign_directory = false;  // the registry named one that is neither default
};
StopDirectoryList BuildStopDirectoryList(const InstallerEngine& engine);

// Terminates every process running from the product's directories; with force false a running
// "Vellmora-Launcher.exe" is spared. Reports nothing.
void StopProcessesUnder(InstallerEngine& engine, bool force);

// Terminates only the listed processes that run from inside directory (excluded_pid: 0 for
// none), each waited for up to 5 s, so that a caller can end one program without touching the
// rest of the product. Reports nothing.
void StopNamedProcessesUnder(const Path& directory, const ProcessNames& names,
                             std::uint32_t excluded_pid);

}  // namespace vellmora
