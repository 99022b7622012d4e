#include "placement/root_transaction.h"

#include <array>
#include <algorithm>

#include "app/file_helpers.h"
#include "app/path_helpers.h"
#include "app/retry_transient.h"
#include "app/system_errors.h"
#include "app/text.h"
#include "placement/tree_operations.h"
#include "platform/files.h"

namespace vellmora {
namespace {

// The generic category's "file exists", as the reserve-staging line reports it.
constexpr int kGenericFileExists = 17;
constexpr const char* kGenericFileExistsText = "File exists";

bool IsNotFound(Win32Error error) {
  return error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
}

// The status of path without following a link: true when it exists, false when it does not, and
// *error set for any other failure.
bool Exists(const Path& path, Win32Error* error) {
  platform::FileStatus status;
  Win32Error result = platform::GetFileStatus(path, &status);
  *error = IsNotFound(result) ? platform::kErrorSuccess : result;
  return result == platform::kErrorSuccess;
}

bool IsDirectory(const platform::FileStatus& status) {
  return (status.attributes & platform::kAttributeDirectory) != 0;
}

bool RemoveRootTree(const Path& path, Win32Error* error, int* attempts) {
  Win32Error last = platform::kErrorSuccess;
  bool done = RetryTransient(
      [&] {
        last = RemoveTreeWithoutFollowingLinks(path);
        return IsNotFound(last) ? platform::kErrorSuccess : last;
      },
      kTransientAttempts, attempts);
  if (error) *error = IsNotFound(last) ? platform::kErrorSuccess : last;
  return done;
}

// Removes a tree this transaction owns, unless it stopped being a plain directory tree (someone
// put a link into it): then it stays and the warning names it.
bool RemoveOwnedTree(const Path& path, const RootReporter& report) {
  Win32Error error = platform::kErrorSuccess;
  if (!Exists(path, &error)) {
    if (error == platform::kErrorSuccess) return true;
  } else if (!IsPlainDirectoryTree(path)) {
    error = platform::kErrorReparsePointEncountered;
  } else if (RemoveRootTree(path, &error, nullptr)) {
    return true;
  }
  report("Warning: temporary Engine root remains at " + ToUtf8(path) + " (Windows error " +
         SignedErrorCode(error) + ").");
  return false;
}

std::string RootFailureLine(const RootTransaction& record, const std::string& operation,
                            const Path& source, const Path& destination, const std::string& code,
                            const std::string& message, int attempt) {
  return "Root transaction failed [" + record.name + "] operation=" + operation + " source=\"" +
         ToUtf8(source) + "\" destination=\"" + ToUtf8(destination) + "\" attempt=" +
         std::to_string(attempt) + "/20 Windows error=" + code + " message=\"" + message + "\".";
}

// Step 5 of the preparation: the rename, else a copy into a directory created exclusively.
bool PlaceAtStaging(RootTransaction& record, const RootReporter& report) {
  Win32Error error = platform::kErrorSuccess;
  int attempts = 0;
  if (RenameRetried(record.source, record.staging_path, &error, &attempts)) {
    record.staging_owned = true;
    return true;
  }
  error = platform::CreateDirectoryW(record.staging_path);
  if (error == platform::kErrorAlreadyExists || error == platform::kErrorFileExists) {
    report(FormatRootFailure(record, "reserve-staging", record.source, record.staging_path,
                             kGenericFileExists, kGenericFileExistsText, 1));
    return false;
  }
  if (error == platform::kErrorSuccess) {
    record.staging_owned = true;
    error = CopyTreeWithoutFollowingLinks(record.source, record.staging_path, &attempts);
    if (error == platform::kErrorSuccess) return true;
  } else {
    attempts = 1;
  }
  report(FormatRootFailure(record, "prepare-copy", record.source, record.staging_path, error,
                           attempts));
  if (record.staging_owned) {
    RemoveRootTree(record.staging_path, nullptr, nullptr);
    record.staging_owned = false;
  }
  return false;
}

// Rollback of one activated record: the new tree to its ".failed" name. False when that did not
// happen and the destination therefore still holds the new tree (or cannot be read).
bool MoveNewTreeAside(RootTransaction& record, const RootReporter& report) {
  Win32Error error = platform::kErrorSuccess;
  const Path failed = record.FailedPath();
  if (!Exists(record.destination, &error)) {
    if (error == platform::kErrorSuccess) {
      record.new_activated = false;
      return true;
    }
    report(FormatRootFailure(record, "rollback-new", record.destination, failed, error, 1));
    return false;
  }
  if (record.failed_owned) RemoveRootTree(failed, nullptr, nullptr);
  int attempts = 0;
  if (!RenameRetried(record.destination, failed, &error, &attempts)) {
    report(FormatRootFailure(record, "rollback-new", record.destination, failed, error,
                             attempts));
    return false;
  }
  record.new_activated = false;
  record.failed_owned = true;
  return true;
}

bool PutPreviousTreeBack(RootTransaction& record, const RootReporter& report) {
  Win32Error error = platform::kErrorSuccess;
  int attempts = 0;
  if (RenameRetried(record.backup_path, record.destination, &error, &attempts)) {
    record.previous_preserved = false;
    return true;
  }
  report(FormatRootFailure(record, "rollback-previous", record.backup_path, record.destination,
                           error, attempts));
  // The install name must not stay empty while a complete new tree sits beside it: the one the
  // rollback moved aside, or the staging tree of a root that was never activated.
  const Path new_tree = record.failed_owned ? record.FailedPath()
                        : record.staging_owned ? record.staging_path
                                               : Path();
  if (!new_tree.empty() && RenameRetried(new_tree, record.destination, nullptr, nullptr)) {
    record.failed_owned = false;
    record.staging_owned = false;
    record.new_activated = true;
    report("Recovery notice: the new " + record.name + " root was put back at " +
           ToUtf8(record.destination) + "; the previous root remains at " +
           ToUtf8(record.backup_path) + ".");
  }
  return false;
}

}  // namespace

RootTransaction MakeRootTransaction(const std::string& name, const Path& source,
                                    const Path& destination, const std::wstring& transaction_id) {
  RootTransaction record;
  record.name = name;
  record.source = source;
  record.destination = destination;
  const Path parent = ParentPath(destination);
  const Path leaf = LastComponent(destination);
  if (!leaf.empty() && !transaction_id.empty()) {
    record.staging_path = JoinPath(parent, leaf + kStagingInfix + transaction_id);
    record.backup_path = JoinPath(parent, leaf + kBackupInfix + transaction_id);
  }
  return record;
}

bool PrepareRoot(RootTransaction& record, const RootReporter& report) {
  platform::FileStatus status;
  Win32Error error = platform::GetFileStatus(record.source, &status);
  if (error != platform::kErrorSuccess && !IsNotFound(error)) {
    throw FileSystemError("status", record.source, error);
  }
  bool source_is_directory = error == platform::kErrorSuccess && IsDirectory(status) &&
                             (status.attributes & platform::kAttributeReparsePoint) == 0;
  if (!source_is_directory || record.destination.empty() || record.staging_path.empty() ||
      record.backup_path.empty()) {
    report("Root transaction source is missing [" + record.name + "]: " +
           ToUtf8(record.source) + ".");
    return false;
  }

  const Path parent = ParentPath(record.destination);
  error = CreateDirectoryWithParents(parent);
  if (error != platform::kErrorSuccess) {
    report(FormatRootFailure(record, "create-parent", parent, parent, error, 1));
    return false;
  }

  bool staging_exists = Exists(record.staging_path, &error);
  if (error != platform::kErrorSuccess) {
    report(FormatRootFailure(record, "inspect-incoming", record.source, record.staging_path,
                             error, 1));
    return false;
  }
  bool backup_exists = Exists(record.backup_path, &error);
  if (error != platform::kErrorSuccess) {
    report(FormatRootFailure(record, "inspect-previous", record.source, record.backup_path,
                             error, 1));
    return false;
  }
  if (staging_exists || backup_exists) {
    report(FormatRootFailure(record, "reserve-staging", record.source,
                             staging_exists ? record.staging_path : record.backup_path,
                             kGenericFileExists, kGenericFileExistsText, 1));
    return false;
  }

  if (!PlaceAtStaging(record, report)) return false;

  if (!IsPlainDirectoryTree(record.staging_path)) {
    report("Root transaction rejected an unreadable or reparse-point staging tree [" +
           record.name + "]: " + ToUtf8(record.staging_path) + ".");
    // Links in it are removed as links; their targets stay untouched.
    RemoveRootTree(record.staging_path, nullptr, nullptr);
    record.staging_owned = false;
    return false;
  }
  report("[+] Prepared transactional Engine root [" + record.name + "].");
  return true;
}

bool PreserveCurrentRoot(RootTransaction& record, Win32Error* error, int* attempts) {
  if (!RenameRetried(record.destination, record.backup_path, error, attempts)) return false;
  record.previous_preserved = true;
  return true;
}

bool ActivateNewRoot(RootTransaction& record, Win32Error* error, int* attempts) {
  if (!RenameRetried(record.staging_path, record.destination, error, attempts)) return false;
  record.staging_owned = false;
  record.new_activated = true;
  return true;
}

bool DeleteBackupRoot(RootTransaction& record, Win32Error* error, int* attempts) {
  if (record.keep_recovery_trees || !record.previous_preserved) {
    if (error) *error = platform::kErrorAccessDenied;
    if (attempts) *attempts = 1;
    return false;
  }
  if (!RemoveRootTree(record.backup_path, error, attempts)) return false;
  record.previous_preserved = false;
  return true;
}

bool RollbackRoots(std::vector<RootTransaction>& records, const RootReporter& report) {
  bool complete = true;
  for (auto record = records.rbegin(); record != records.rend(); ++record) {
    if (record->new_activated && !MoveNewTreeAside(*record, report)) {
      // The destination still holds the new tree: the backup must not be moved onto it.
      complete = false;
      if (record->previous_preserved) {
        report("Recovery notice: previous " + record->name + " remains at " +
               ToUtf8(record->backup_path) + ".");
      }
      continue;
    }
    if (record->previous_preserved && !PutPreviousTreeBack(*record, report)) complete = false;
  }
  if (complete) {
    report("[+] Engine root transaction rolled back successfully.");
  } else {
    for (auto& record : records) record.keep_recovery_trees = true;
    report("CRITICAL: Engine root rollback was incomplete; recovery roots were preserved.");
  }
  return complete;
}

void CleanupTemporaryRoots(std::vector<RootTransaction>& records, const RootReporter& report) {
  for (auto& record : records) {
    if (record.staging_owned && !record.new_activated) {
      if (RemoveOwnedTree(record.staging_path, report)) record.staging_owned = false;
    }
    if (!record.failed_owned) continue;
    if (record.keep_recovery_trees) {
      report("Recovery notice: the rolled-back new " + record.name + " root remains at " +
             ToUtf8(record.FailedPath()) + ".");
    } else if (RemoveOwnedTree(record.FailedPath(), report)) {
      record.failed_owned = false;
    }
  }
}

std::string FormatRootFailure(const RootTransaction& record, const std::string& operation,
                              const Path& source, const Path& destination, Win32Error error,
                              int attempt) {
  return RootFailureLine(record, operation, source, destination, SignedErrorCode(error),
                         SystemErrorText(error), attempt);
}

std::string FormatRootFailure(const RootTransaction& record, const std::string& operation,
                              const Path& source, const Path& destination, int code,
                              const std::string& message, int attempt) {
  return RootFailureLine(record, operation, source, destination, std::to_string(code), message,
                         attempt);
}

bool IsTransientFileError(Win32Error error) { return IsTransientError(error); }

bool RemoveObsoleteRuntime(const Path& directory, const Path& name) {
  const Path path = JoinPath(directory, name);
  if (!IsPathInside(path, directory)) return false;
  platform::FileStatus status;
  Win32Error error = platform::GetFileStatus(path, &status);
  static constexpr std::array<Win32Error, 6> kMissing = {2, 3, 53, 64, 123, 267};
  if (std::find(kMissing.begin(), kMissing.end(), error) != kMissing.end()) return true;
  if (error != platform::kErrorSuccess) return false;
  if (!IsPlainDirectoryTree(path)) return false;
  return RemoveRootTree(path, nullptr, nullptr);
}

}  // namespace vellmora
