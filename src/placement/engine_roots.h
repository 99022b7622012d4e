#pragma once
// EngineRoots places the Engine's three roots (ProgramFiles, ProgramData, LocalAppData) as one
// transaction. The Engine procedure drives it step by step:
//
//   Prepare      all three new trees to their staging names
//   (the procedure works on the staging trees: StagingPath(name))
//   PreserveAll  all three current trees to their backup names
//   ActivateAll  all three staging trees to the install names
//   (the procedure validates the activated roots: ReportValidated)
//   MarkCommitted, then Commit after the last step that may still fail
//
// Until the commit point every failure goes through AbortEngineTransaction, which rolls all
// three back. Leaving the procedure in between by any other path (an exception included) makes
// the destructor stop the product's processes and roll back; after the commit point nothing is
// rolled back and the backups stay for FailCommittedEngine to name.

#include <string>
#include <vector>

#include "placement/pie64_preservation.h"
#include "placement/root_transaction.h"

namespace vellmora {

class InstallerEngine;

inline constexpr const char* kProgramFilesRoot = "ProgramFiles";
inline constexpr const char* kProgramDataRoot = "ProgramData";
inline constexpr const char* kLocalAppDataRoot = "LocalAppData";

class EngineRoots {
 public:
  explicit EngineRoots(InstallerEngine& engine);
  ~EngineRoots();
  EngineRoots(const EngineRoots&) = delete;
  EngineRoots& operator=(const EngineRoots&) = delete;

  // Creates the transaction id and the three records over extraction_dir's payload, and prepares
  // them in order. On failure *message is the user message; nothing at a destination changed.
  bool Prepare(const Path& extraction_dir, std::string* message);
  // Renames each existing destination to its backup. On failure *message and *restart say how
  // the operation must be aborted.
  bool PreserveAll(std::string* message, bool* restart);
  bool ActivateAll(std::string* message, bool* restart);
  // The procedure's own check of the activated roots passed.
  void ReportValidated();
  // From here on a failure no longer rolls back.
  void MarkCommitted();
  // Deletes the backups (the ProgramData one stays as a recovery root) and the leftovers.
  void Commit();

  // The roll-back of every abort path: stops the product's processes, rolls back, cleans up and
  // marks the transaction finished. True when every root is back in its old state.
  bool RollBack();

  const RootTransaction* Find(const std::string& name) const;
  std::vector<RootTransaction>& records() { return records_; }
  bool committed() const { return committed_; }
  bool finished() const { return finished_; }

 private:
  void Report(const std::string& line);

  InstallerEngine& engine_;
  std::vector<RootTransaction> records_;
  bool committed_ = false;
  bool finished_ = false;
};

// What an abort needs to end the Engine operation: the roots, the Pie64 restore state and the
// operation's own end (staging directory, machine lock).
struct EngineTransactionContext {
  EngineRoots& roots;
  EngineOperationEnd end;
};

// Rolls the roots back and ends the operation with failure and message (plus the notices of an
// incomplete rollback and of retained Pie64 data). restart asks for a restart even when the
// rollback was complete.
void AbortEngineTransaction(EngineTransactionContext& context, std::string message, bool restart);
// Ends the operation with failure after the commit point; the backups are named, not deleted.
void FailCommittedEngine(EngineTransactionContext& context, std::string message);

}  // namespace vellmora
