#include "app/installer_engine.h"
#include "app/progress_report.h"

namespace vellmora {

namespace {
constexpr int kMigrationStepFailed = 4;
}  // namespace

int InstallerEngine::MigrateDirectPlayer() {
  ReportLog(*this, "[-] The direct-player migration is not available in this build.");
  return kMigrationStepFailed;
}

}  // namespace vellmora
