#include "placement/engine_roots.h"

#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/registry_access.h"
#include "app/system_errors.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "windows/process_control.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

constexpr const char* kIncompleteRollbackNotice =
    " Some Engine recovery roots could not be restored automatically; do not delete any "
    ".ostrevin-old directory.";

// Whether the destination exists; *error is set for a status that could not be read.
bool DestinationExists(const Path& path, Win32Error* error) {
  platform::FileStatus status;
  Win32Error result = platform::GetFileStatus(path, &status);
  bool missing = result == platform::kErrorFileNotFound || result == platform::kErrorPathNotFound;
  *error = missing ? platform::kErrorSuccess : result;
  return result == platform::kErrorSuccess;
}

}  // namespace

EngineRoots::EngineRoots(InstallerEngine& engine) : engine_(engine) {}

EngineRoots::~EngineRoots() {
  if (finished_ || committed_ || records_.empty()) return;
  bool touched = false;
  for (const auto& record : records_) touched |= record.previous_preserved || record.new_activated;
  if (touched) {
    RollBack();
  } else {
    CleanupTemporaryRoots(records_, [this](const std::string& line) { Report(line); });
    finished_ = true;
  }
}

void EngineRoots::Report(const std::string& line) { ReportLog(engine_, line); }

bool EngineRoots::Prepare(const Path& extraction_dir, std::string* message) {
  const std::wstring id = NewGuidString(false);
  if (id.empty()) {
    *message = "Windows could not create an Engine transaction identifier.";
    return false;
  }
  const Path payload = JoinPath(extraction_dir, L"payload");
  records_ = {
      MakeRootTransaction(kProgramFilesRoot, JoinPath(payload, L"ProgramFiles\\Vellmora"),
                          engine_.paths.InstallDir(), id),
      MakeRootTransaction(kProgramDataRoot, JoinPath(payload, L"ProgramData\\Vellmora"),
                          engine_.paths.DataDir(), id),
      MakeRootTransaction(kLocalAppDataRoot, JoinPath(payload, L"LocalAppData\\DO-Rarari_vlm5"),
                          JoinPath(engine_.paths.local_app_data, L"DO-Rarari_ovm5"), id),
  };
  const RootReporter report = [this](const std::string& line) { Report(line); };
  for (auto& record : records_) {
    if (!PrepareRoot(record, report)) {
      CleanupTemporaryRoots(records_, report);
      finished_ = true;
      *message = "An Engine root could not be prepared for transactional installation.";
      return false;
    }
  }
  return true;
}

bool EngineRoots::PreserveAll(std::string* message, bool* restart) {
  for (auto& record : records_) {
    Win32Error error = platform::kErrorSuccess;
    record.destination_existed = DestinationExists(record.destination, &error);
    if (error != platform::kErrorSuccess) {
      Report(FormatRootFailure(record, "inspect-destination", record.destination,
                               record.destination, error, 1));
      *message = "The Engine transaction could not inspect an existing destination.";
      *restart = false;
      return false;
    }
    if (!record.destination_existed) continue;
    int attempts = 0;
    if (!PreserveCurrentRoot(record, &error, &attempts)) {
      Report(FormatRootFailure(record, "preserve-current", record.destination,
                               record.backup_path, error, attempts));
      *message = "The current " + record.name +
                 " root is still in use. Restart Windows and retry the installation.";
      *restart = true;
      return false;
    }
    Report("[+] Preserved current Engine root [" + record.name + "] for rollback.");
  }
  return true;
}

bool EngineRoots::ActivateAll(std::string* message, bool* restart) {
  for (auto& record : records_) {
    Win32Error error = platform::kErrorSuccess;
    int attempts = 0;
    if (!ActivateNewRoot(record, &error, &attempts)) {
      Report(FormatRootFailure(record, "activate-new", record.staging_path, record.destination,
                               error, attempts));
      *message = "The new " + record.name +
                 " root could not be activated; the previous installation was restored.";
      *restart = IsTransientFileError(error);
      return false;
    }
    Report("[+] Activated new Engine root [" + record.name + "].");
  }
  return true;
}

void EngineRoots::ReportValidated() {
  Report("[+] All three Engine roots were activated as one rollback transaction.");
}

void EngineRoots::MarkCommitted() {
  committed_ = true;
  finished_ = true;
}

void EngineRoots::Commit() {
  for (auto& record : records_) {
    if (!record.previous_preserved) continue;
    if (record.name == kProgramDataRoot) {
      if (!RemoveObsoleteRuntime(record.backup_path, L"Runtime")) {
        Report("Warning: obsolete compatibility Runtime remains in the recovery root " +
               ToUtf8(record.backup_path) + ".");
      }
      WriteRegistryString(RegistryRoot::kLocalMachine, kProductKey,
                          L"PreviousEngineProgramDataRecoveryPath", record.backup_path);
      Report("[+] Previous ProgramData was retained for SharedFolder/InputMapper recovery at " +
             ToUtf8(record.backup_path) + ".");
      continue;
    }
    Win32Error error = platform::kErrorSuccess;
    if (!DeleteBackupRoot(record, &error, nullptr)) {
      Report("Warning: committed rollback root remains at " + ToUtf8(record.backup_path) +
             " (Windows error " + SignedErrorCode(error) + ").");
    }
  }
  CleanupTemporaryRoots(records_, [this](const std::string& line) { Report(line); });
}

bool EngineRoots::RollBack() {
  StopProcessesUnder(engine_, true);
  const RootReporter report = [this](const std::string& line) { Report(line); };
  bool complete = RollbackRoots(records_, report);
  CleanupTemporaryRoots(records_, report);
  finished_ = true;
  return complete;
}

const RootTransaction* EngineRoots::Find(const std::string& name) const {
  for (const auto& record : records_) {
    if (record.name == name) return &record;
  }
  return nullptr;
}

void AbortEngineTransaction(EngineTransactionContext& context, std::string message, bool restart) {
  InstallerEngine& engine = context.end.engine;
  bool complete = context.roots.RollBack();
  if (!complete) ReportLog(engine, "Rollback warning: the Engine roots were not fully restored.");
  if (!complete || restart) engine.MarkRestartRequired();
  if (!complete) message += kIncompleteRollbackNotice;
  AppendPie64RecoveryNotice(context.end.pie64, &message);
  if (context.end.release) context.end.release();
  ReportFinish(engine, false, message);
}

void FailCommittedEngine(EngineTransactionContext& context, std::string message) {
  InstallerEngine& engine = context.end.engine;
  AppendPie64RecoveryNotice(context.end.pie64, &message);
  for (const auto& record : context.roots.records()) {
    if (!record.previous_preserved) continue;
    ReportLog(engine, "Recovery notice: previous " + record.name + " remains at " +
                          ToUtf8(record.backup_path) + ".");
  }
  if (context.end.release) context.end.release();
  ReportFinish(engine, false, message);
}

}  // namespace vellmora
