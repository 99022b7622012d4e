#include "app/installation_probes.h"
#include "app/not_built.h"

namespace vellmora {

bool IsPie64Registered(const InstallerEngine&) {
  LogNotBuiltOnce("The Pie64 registration probe", "it reports Pie64 as not registered");
  return false;
}

}  // namespace vellmora
