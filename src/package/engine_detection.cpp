#include "app/installation_probes.h"
#include "app/not_built.h"

namespace vellmora {

bool IsCurrentEngineInstalled(const InstallerEngine&) {
  LogNotBuiltOnce("The Engine installation probe", "it reports no Engine installed");
  return false;
}

bool HasRegisteredInstallation(const InstallerEngine&) {
  LogNotBuiltOnce("The registered-installation probe", "it reports no registered installation");
  return false;
}

}  // namespace vellmora
