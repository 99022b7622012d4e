#pragma once
// The user's Pie64 data ("Data.vhdx" in <data dir>\Engine\Pie64) survives every replacement of
// the data directory or the instance: PreserveExistingPie64 renames the whole Pie64 directory to
// <data base>\Vellmora.ostrevin-backup-<id>\Pie64 before anything is replaced, and
// RestorePreservedPie64 renames it back, first moving whatever the new installation put at the
// Pie64 position to <data base>\Vellmora.failed-install-<id>\Pie64. Nothing here deletes a tree:
// on every failure each copy stays where it is and the log names it.

#include <functional>
#include <string>
#include <utility>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;
using platform::Path;

// The Pie64 directory of the installation: <data dir>\Engine\Pie64.
Path Pie64Directory(const InstallerEngine& engine);

// True when there was nothing to preserve (*recovery_path stays empty) or the Pie64 directory
// now sits, verified, in the recovery root named by *recovery_path.
bool PreserveExistingPie64(InstallerEngine& engine, Path* recovery_path);
// True when nothing was preserved or the preserved data is back and verified.
bool RestorePreservedPie64(InstallerEngine& engine, const Path& recovery_path);

// What the procedures' clean-up paths share: whether the preserved data is back already.
struct Pie64RestoreState {
  Pie64RestoreState(InstallerEngine& owner, Path preserved_at)
      : engine(owner), recovery_path(std::move(preserved_at)), restored(recovery_path.empty()) {}
  InstallerEngine& engine;
  Path recovery_path;
  bool restored;
};

// The instance procedure's scope ended without success.
void RestorePie64AfterInstanceFailure(Pie64RestoreState& state);
// The Engine procedure's scope ended while the data is not back yet.
void RestorePie64AfterEngineFailure(Pie64RestoreState& state);
// After the Engine's commit and on every Engine failure path; true when the data is back.
bool RestorePie64BeforeEngineCompletes(Pie64RestoreState& state);

// What ends an Engine operation after a failure: the staging directory's removal and the release
// of the machine operation lock, which the Engine procedure owns.
struct EngineOperationEnd {
  InstallerEngine& engine;
  Pie64RestoreState& pie64;
  std::function<void()> release;  // may be empty
};

// Ends the operation with failure and message for a failure before the root transaction exists.
void FailEngineBeforeTransaction(EngineOperationEnd& end, std::string message);
// " Pie64 recovery is retained at <recovery root>." when the preserved data is not back.
void AppendPie64RecoveryNotice(Pie64RestoreState& state, std::string* message);

}  // namespace vellmora
