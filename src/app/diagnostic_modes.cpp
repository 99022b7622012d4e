// The command-line diagnostics repeat one registration phase of an existing installation on a
// chosen disk so that a failure seen during installation can be reproduced in the log.

#include <string>

#include "app/destination_selection.h"
#include "app/installer_engine.h"
#include "app/not_built.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/text.h"

namespace vellmora {
namespace {

constexpr int kExitInvalidDrive = 15;
constexpr int kExitBusy = 170;

int FinishNotAvailable(InstallerEngine& engine, const char* phase, int failure_code) {
  ReportLog(engine, std::string("[-] The ") + phase + " diagnostic is not available in this build.");
  ReportFinish(engine, false, kNotAvailableMessage);
  return failure_code;
}

}  // namespace

int InstallerEngine::BeginDiagnostic(const std::string& argument, const std::string& title) {
  platform::Path root = FixedDriveRootOf(WidenBytes(argument));
  if (root.empty()) return kExitInvalidDrive;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (view.busy) return kExitBusy;
    paths.PlaceOnDrive(root);
    RefreshDisplayPaths();
  }
  BeginOperation(title);
  return 0;
}

int InstallerEngine::RunRegistryDiagnostic(const std::string& argument) {
  if (int refused = BeginDiagnostic(argument, "Debugging Vellmora registry registration")) {
    return refused;
  }
  return FinishNotAvailable(*this, "registry", 29);
}

int InstallerEngine::RunComDiagnostic(const std::string& argument) {
  if (int refused = BeginDiagnostic(argument, "Debugging Vellmora COM registration")) {
    return refused;
  }
  return FinishNotAvailable(*this, "COM", 1114);
}

int InstallerEngine::RunPie64Diagnostic(const std::string& argument) {
  if (int refused = BeginDiagnostic(argument, "Debugging Vellmora Pie64 registration")) {
    return refused;
  }
  return FinishNotAvailable(*this, "Pie64", 1603);
}

}  // namespace vellmora
