#include "app/installer_engine.h"
#include "app/not_built.h"
#include "app/progress_report.h"

namespace vellmora {

void InstallerEngine::Uninstall() {
  ReportLog(*this, "[-] The Vellmora cleanup is not available in this build.");
  ReportFinish(*this, false, kNotAvailableMessage);
}

}  // namespace vellmora
