#include "app/not_built.h"
#include "instance/instance_registration.h"

namespace vellmora {

// The backend and the boot promotion belong to the Engine's preparation; until this build has
// them, registration stops at the first of them and says why.
RegistrationSteps DefaultRegistrationSteps() {
  RegistrationSteps steps;
  steps.configure_backend = [](InstallerEngine&, const platform::Path&) {
    LogNotBuiltOnce("Configuring the virtualization backend", "Pie64 was not registered");
    return false;
  };
  steps.install_boot_promotion = [](InstallerEngine&) {
    LogNotBuiltOnce("Installing the Pie64 boot promotion", "Pie64 was not registered");
    return false;
  };
  return steps;
}

}  // namespace vellmora
