#include "app/installer_engine.h"
#include "app/not_built.h"
#include "app/progress_report.h"

namespace vellmora {

void InstallerEngine::InstallPie64V2(const std::wstring&) {
  ReportLog(*this, "[-] The Pie64 installation is not available in this build.");
  ReportFinish(*this, false, kNotAvailableMessage);
}

}  // namespace vellmora
