#include "engine/boot_promotion.h"
#include "engine/virtualization_backend.h"
#include "instance/instance_registration.h"

namespace vellmora {

RegistrationSteps DefaultRegistrationSteps() {
  RegistrationSteps steps;
  steps.configure_backend = ConfigureVirtualizationBackend;
  steps.install_boot_promotion = InstallBootPromotion;
  return steps;
}

}  // namespace vellmora
