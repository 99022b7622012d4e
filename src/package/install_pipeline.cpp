#include "app/installer_engine.h"
#include "app/not_built.h"
#include "app/progress_report.h"

namespace vellmora {

void InstallerEngine::InstallAll() {
  ReportLog(*this, "[-] The complete installation pipeline is not available in this build.");
  ReportFinish(*this, false, kNotAvailableMessage);
}

}  // namespace vellmora
