#include "app/installer_engine.h"
#include "app/not_built.h"

namespace vellmora {

void InstallerEngine::OpenPie64() {
  LogNotBuiltOnce("Starting Pie64 from the wizard", "the player was not started");
}

}  // namespace vellmora
