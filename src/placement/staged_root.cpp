// InstallerEngine::MoveStagedRoot: the single-root transaction of the instance procedure.

#include <vector>

#include "app/file_helpers.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_errors.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "placement/root_transaction.h"
#include "platform/files.h"

namespace vellmora {

bool InstallerEngine::MoveStagedRoot(const std::wstring& staged_parent,
                                     const std::wstring& root_name,
                                     const std::wstring& destination, bool root_required) {
  const RootReporter report = [this](const std::string& line) { ReportLog(*this, line); };
  const Path source = JoinPath(staged_parent, root_name);
  platform::FileStatus status;
  platform::Win32Error error = platform::GetFileStatus(source, &status);
  if (error != platform::kErrorSuccess && error != platform::kErrorFileNotFound &&
      error != platform::kErrorPathNotFound) {
    throw FileSystemError("status", source, error);
  }
  if (error != platform::kErrorSuccess || (status.attributes & platform::kAttributeDirectory) == 0) {
    if (root_required) {
      report("The staged archive does not contain a " + ToUtf8(root_name) +
             " root: " + ToUtf8(staged_parent));
    }
    return false;
  }
  const std::wstring id = NewGuidString(false);
  if (id.empty()) {
    report("Could not create a transaction identifier for " + ToUtf8(destination) + ".");
    return false;
  }
  std::vector<RootTransaction> records = {
      MakeRootTransaction(ToUtf8(root_name), source, destination, id)};
  RootTransaction& record = records.front();
  if (!PrepareRoot(record, report)) return false;

  error = platform::GetFileStatus(destination, &status);
  if (error != platform::kErrorSuccess && error != platform::kErrorFileNotFound &&
      error != platform::kErrorPathNotFound) {
    report(FormatRootFailure(record, "inspect-destination", destination, destination, error, 1));
    CleanupTemporaryRoots(records, report);
    return false;
  }
  record.destination_existed = error == platform::kErrorSuccess;
  int attempts = 0;
  if (record.destination_existed && !PreserveCurrentRoot(record, &error, &attempts)) {
    report(FormatRootFailure(record, "preserve-current", destination, record.backup_path, error,
                             attempts));
    CleanupTemporaryRoots(records, report);
    return false;
  }
  if (!ActivateNewRoot(record, &error, &attempts)) {
    report(FormatRootFailure(record, "activate-new", record.staging_path, destination, error,
                             attempts));
    RollbackRoots(records, report);
    CleanupTemporaryRoots(records, report);
    return false;
  }
  if (!IsPlainDirectoryTree(destination)) {
    report("Transactional root validation failed after activation: " + ToUtf8(destination) + ".");
    RollbackRoots(records, report);
    CleanupTemporaryRoots(records, report);
    return false;
  }
  if (record.previous_preserved && !DeleteBackupRoot(record, &error, &attempts)) {
    report("Warning: the previous root remains at " + ToUtf8(record.backup_path) +
           " (Windows error " + SignedErrorCode(error) + ").");
  }
  CleanupTemporaryRoots(records, report);
  report("[+] Transactional root installed: " + ToUtf8(destination) + ".");
  return true;
}

}  // namespace vellmora
