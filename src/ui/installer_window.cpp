#include "ui/installer_window.h"

#include "app/install_log.h"
#include "app/installer_engine.h"

namespace vellmora {

void RunInstallerWindow() {
  // The first Instance() call detects the installation on this thread, as the window will.
  InstallerEngine::Instance();
  WriteDiagnostic("WIZARD: the installer window is not available in this build; nothing was shown.");
}

}  // namespace vellmora
