#include "placement/pie64_preservation.h"

#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_errors.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "placement/tree_operations.h"
#include "platform/files.h"
#include "windows/process_control.h"

namespace vellmora {
namespace {

constexpr const wchar_t* kDataDisk = L"Data.vhdx";
constexpr const wchar_t* kPie64 = L"Pie64";

enum class EntryKind { kMissing, kRegularFile, kDirectory, kOther };

// The kind of the entry itself (a link is kOther); *error is set only for a status that could
// not be read for another reason than "not found".
EntryKind KindOf(const Path& path, platform::Win32Error* error) {
  platform::FileStatus status;
  platform::Win32Error result = platform::GetFileStatus(path, &status);
  if (error) *error = platform::kErrorSuccess;
  if (result == platform::kErrorFileNotFound || result == platform::kErrorPathNotFound) {
    return EntryKind::kMissing;
  }
  if (result != platform::kErrorSuccess) {
    if (error) *error = result;
    return EntryKind::kOther;
  }
  if ((status.attributes & platform::kAttributeReparsePoint) != 0) return EntryKind::kOther;
  return (status.attributes & platform::kAttributeDirectory) != 0 ? EntryKind::kDirectory
                                                                  : EntryKind::kRegularFile;
}

bool IsRegularFile(const Path& path) { return KindOf(path, nullptr) == EntryKind::kRegularFile; }

std::string ErrorDetail(platform::Win32Error error) {
  return "(Windows error " + SignedErrorCode(error) + ": " + SystemErrorText(error) + ")";
}

// A directory of a fresh GUID name beside the data directory, created exclusively; empty when no
// GUID or no directory could be made.
Path CreateUniqueSibling(const InstallerEngine& engine, const wchar_t* prefix) {
  const std::wstring id = NewGuidString(false);
  if (id.empty()) return {};
  if (CreateDirectoryWithParents(engine.paths.data_base) != platform::kErrorSuccess) return {};
  const Path root = JoinPath(engine.paths.data_base, prefix + id);
  if (platform::CreateDirectoryW(root) != platform::kErrorSuccess) return {};
  return root;
}

// The Engine folder of the data directory, for the restore. The data directory itself must
// already be there: after an incomplete rollback its name belongs to the recovery tree the user
// was told to keep, and a bare one built here would take that name.
platform::Win32Error PrepareRestoreParent(const InstallerEngine& engine) {
  platform::Win32Error error = platform::kErrorSuccess;
  EntryKind data = KindOf(engine.paths.DataDir(), &error);
  if (error != platform::kErrorSuccess) return error;
  if (data == EntryKind::kMissing) return platform::kErrorPathNotFound;
  if (data != EntryKind::kDirectory) return platform::kErrorReparsePointEncountered;
  const Path engine_dir = JoinPath(engine.paths.DataDir(), L"Engine");
  EntryKind existing = KindOf(engine_dir, &error);
  if (error != platform::kErrorSuccess) return error;
  if (existing == EntryKind::kDirectory) return platform::kErrorSuccess;
  if (existing != EntryKind::kMissing) return platform::kErrorReparsePointEncountered;
  return platform::CreateDirectoryW(engine_dir);
}

bool RunRestoreWrapper(Pie64RestoreState& state, bool stop_processes, const char* success,
                       const char* failure) {
  if (state.restored) return true;
  if (stop_processes) StopProcessesUnder(state.engine, true);
  if (RestorePreservedPie64(state.engine, state.recovery_path)) {
    state.restored = true;
    ReportLog(state.engine, success);
    return true;
  }
  ReportLog(state.engine, failure + ToUtf8(state.recovery_path) + ".");
  return false;
}

}  // namespace

Path Pie64Directory(const InstallerEngine& engine) {
  return JoinPath(JoinPath(engine.paths.DataDir(), L"Engine"), kPie64);
}

bool PreserveExistingPie64(InstallerEngine& engine, Path* recovery_path) {
  recovery_path->clear();
  const Path pie64 = Pie64Directory(engine);
  const Path disk = JoinPath(pie64, kDataDisk);
  platform::Win32Error error = platform::kErrorSuccess;
  EntryKind disk_kind = KindOf(disk, &error);
  if (error != platform::kErrorSuccess) throw FileSystemError("status", disk, error);
  if (disk_kind == EntryKind::kMissing) return true;
  // A "Data.vhdx" that is a link or a directory is still the user's disk: it must not be
  // mistaken for an absent one and replaced with the rest of the old instance.
  if (disk_kind != EntryKind::kRegularFile || KindOf(pie64, nullptr) != EntryKind::kDirectory) {
    ReportLog(engine, "The existing Pie64 payload could not be preserved safely.");
    return false;
  }

  const Path root = CreateUniqueSibling(engine, L"Vellmora.ostrevin-backup-");
  if (root.empty()) return false;
  StopProcessesUnder(engine, true);

  const Path preserved = JoinPath(root, kPie64);
  int attempts = 0;
  if (!RenameRetried(pie64, preserved, &error, &attempts)) {
    platform::RemoveDirectoryW(root);  // only ever removes it while empty
    ReportLog(engine,
              "The existing Pie64 payload is in use or could not be moved to a safe recovery "
              "directory after " +
                  std::to_string(attempts) + " attempts " + ErrorDetail(error) + ".");
    return false;
  }
  *recovery_path = root;
  if (IsRegularFile(JoinPath(preserved, kDataDisk))) {
    ReportLog(engine, "[+] Existing Pie64 data was preserved before cleanup at " + ToUtf8(root) +
                          ".");
    return true;
  }

  if (CreateDirectoryWithParents(ParentPath(pie64)) == platform::kErrorSuccess &&
      platform::MoveFileExW(preserved, pie64, 0) == platform::kErrorSuccess) {
    recovery_path->clear();
    platform::RemoveDirectoryW(root);
  } else {
    ReportLog(engine, "Recovery notice: Pie64 data remains at " + ToUtf8(root) + ".");
  }
  ReportLog(engine, "The preserved Pie64 payload could not be verified after it was moved.");
  return false;
}

bool RestorePreservedPie64(InstallerEngine& engine, const Path& recovery_path) {
  if (recovery_path.empty()) return true;
  const Path pie64 = Pie64Directory(engine);
  const Path preserved = JoinPath(recovery_path, kPie64);
  if (!IsRegularFile(JoinPath(preserved, kDataDisk))) {
    ReportLog(engine, "Pie64 recovery source is missing or unreadable: " + ToUtf8(preserved) +
                          ".");
    return false;
  }
  platform::Win32Error error = PrepareRestoreParent(engine);
  if (error != platform::kErrorSuccess) {
    ReportLog(engine, "Pie64 recovery could not create its destination " + ErrorDetail(error) +
                          ".");
    return false;
  }
  EntryKind occupant = KindOf(pie64, &error);
  if (error != platform::kErrorSuccess) {
    ReportLog(engine, "Pie64 recovery could not inspect the destination " + ErrorDetail(error) +
                          ".");
    return false;
  }

  Path set_aside;
  if (occupant != EntryKind::kMissing) {
    const Path failed_root = CreateUniqueSibling(engine, L"Vellmora.failed-install-");
    if (failed_root.empty()) return false;
    set_aside = JoinPath(failed_root, kPie64);
    if (!RenameRetried(pie64, set_aside, &error, nullptr)) {
      platform::RemoveDirectoryW(failed_root);
      ReportLog(engine, "Pie64 recovery could not preserve the partial destination " +
                            ToUtf8(pie64) + " " + ErrorDetail(error) + ".");
      return false;
    }
    ReportLog(engine, "[+] Partial Pie64 installation was preserved at " + ToUtf8(failed_root) +
                          ".");
  }

  if (!RenameRetried(preserved, pie64, &error, nullptr)) {
    ReportLog(engine, "Pie64 recovery failed while restoring " + ToUtf8(preserved) + " " +
                          ErrorDetail(error) + ".");
    if (!set_aside.empty()) RenameRetried(set_aside, pie64, nullptr, nullptr);
    return false;
  }

  if (!IsRegularFile(JoinPath(pie64, kDataDisk))) {
    platform::CreateDirectoryW(recovery_path);
    if (RenameRetried(pie64, preserved, nullptr, nullptr) && !set_aside.empty()) {
      RenameRetried(set_aside, pie64, nullptr, nullptr);
    }
    ReportLog(engine, "Pie64 recovery verification failed; recovery copies were preserved.");
    return false;
  }
  platform::RemoveDirectoryW(recovery_path);  // only ever removes it while empty
  ReportLog(engine, "[+] The preserved Pie64 data was restored to the repaired Vellmora "
                    "installation.");
  return true;
}

void RestorePie64AfterInstanceFailure(Pie64RestoreState& state) {
  RunRestoreWrapper(state, true,
                    "[+] Previous Pie64 data was restored after the instance transaction failed.",
                    "CRITICAL: Pie64 recovery failed. Do not delete: ");
}

void RestorePie64AfterEngineFailure(Pie64RestoreState& state) {
  RunRestoreWrapper(state, false,
                    "[+] Previous Pie64 data was restored after the Engine transaction failed.",
                    "CRITICAL: automatic Pie64 recovery failed. Recovery directory: ");
}

bool RestorePie64BeforeEngineCompletes(Pie64RestoreState& state) {
  return RunRestoreWrapper(
      state, true, "[+] Previous Pie64 data was restored before completing the Engine operation.",
      "CRITICAL: automatic Pie64 recovery failed. Recovery directory: ");
}

void AppendPie64RecoveryNotice(Pie64RestoreState& state, std::string* message) {
  if (!RestorePie64BeforeEngineCompletes(state)) {
    *message += " Pie64 recovery is retained at " + ToUtf8(state.recovery_path) + ".";
  }
}

void FailEngineBeforeTransaction(EngineOperationEnd& end, std::string message) {
  AppendPie64RecoveryNotice(end.pie64, &message);
  if (end.release) end.release();
  ReportFinish(end.engine, false, message);
}

}  // namespace vellmora
