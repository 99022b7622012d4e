#pragma once
// RootTransaction replaces one install root (a whole directory) so that at every moment the
// install name holds either the old tree or the complete new one:
//
//   PrepareRoot          source -> <destination>.ostrevin-new-<id> (rename, or a copy into a
//                        freshly and exclusively created directory), then audited for links
//   PreserveCurrentRoot  destination -> <destination>.ostrevin-old-<id>
//   ActivateNewRoot      staging -> destination
//   DeleteBackupRoot     removes the backup once the caller's own checks have passed
//   RollbackRoots        activated new tree -> <staging>.failed, backup -> destination
//   CleanupTemporaryRoots removes what this transaction left at the staging and ".failed" names
//
// Every rename stays inside the destination's parent and never replaces anything; renames and
// removals are retried on transient errors (20 attempts, 500 ms apart). The record's flags say
// what the transaction itself has put on disk: nothing is ever removed that it did not create,
// nothing is removed through a link, and while a rollback is incomplete no ".failed" or backup
// tree is removed at all, because one of them may be the only complete tree left.

#include <functional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace vellmora {

using platform::Path;
using platform::Win32Error;

// Receives each log line; every caller passes one that writes it with ReportLog.
using RootReporter = std::function<void(const std::string&)>;

inline constexpr const wchar_t* kStagingInfix = L".ostrevin-new-";
inline constexpr const wchar_t* kBackupInfix = L".ostrevin-old-";
inline constexpr const wchar_t* kFailedSuffix = L".failed";

struct RootTransaction {
  std::string name;  // "ProgramFiles", "ProgramData", "LocalAppData" or "Pie64"
  Path source;
  Path destination;
  Path staging_path;
  Path backup_path;
  bool destination_existed = false;
  bool previous_preserved = false;  // the old tree is at backup_path
  bool new_activated = false;       // the new tree is at destination
  // The staging path holds the tree PrepareRoot put there (cleared when it moves on).
  bool staging_owned = false;
  // FailedPath() holds the new tree a rollback moved aside.
  bool failed_owned = false;
  // A rollback of the transaction was incomplete: its ".failed" and backup trees stay.
  bool keep_recovery_trees = false;

  Path FailedPath() const { return staging_path + kFailedSuffix; }
};

// The record for one root with its staging and backup siblings named after the transaction id.
RootTransaction MakeRootTransaction(const std::string& name, const Path& source,
                                    const Path& destination, const std::wstring& transaction_id);

// True when the new tree stands, audited, at the staging path. Raises FileSystemError when the
// source's status cannot be read.
bool PrepareRoot(RootTransaction& record, const RootReporter& report);
// Each renames or removes under the retry policy and updates the record's flags; *error and
// *attempts describe the last attempt.
bool PreserveCurrentRoot(RootTransaction& record, Win32Error* error, int* attempts);
bool ActivateNewRoot(RootTransaction& record, Win32Error* error, int* attempts);
bool DeleteBackupRoot(RootTransaction& record, Win32Error* error, int* attempts);

// From the last record to the first: the activated new tree goes to its ".failed" name and the
// preserved old tree back to the destination. True when every record is back in its old state.
// When it is not, every record keeps its recovery trees and a destination left empty gets the
// complete new tree back.
bool RollbackRoots(std::vector<RootTransaction>& records, const RootReporter& report);
// Removes the staging and ".failed" trees this transaction created and still owns; a tree that
// is no longer a plain directory tree is kept and reported.
void CleanupTemporaryRoots(std::vector<RootTransaction>& records, const RootReporter& report);

// The failure line: Root transaction failed [<name>] operation=<operation> source="..."
// destination="..." attempt=<n>/20 Windows error=<code> message="<system text>".
std::string FormatRootFailure(const RootTransaction& record, const std::string& operation,
                              const Path& source, const Path& destination, Win32Error error,
                              int attempt);
// The same with an error of the C library's generic category (code and text given).
std::string FormatRootFailure(const RootTransaction& record, const std::string& operation,
                              const Path& source, const Path& destination, int code,
                              const std::string& message, int attempt);

bool IsTransientFileError(Win32Error error);

// Removes directory\name ("Runtime" or ".vellmora_runtime") when it is a plain directory tree.
// True when it is absent or was removed; false for a link, an unsafe tree or a failed removal.
bool RemoveObsoleteRuntime(const Path& directory, const Path& name);

}  // namespace vellmora
