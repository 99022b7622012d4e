#include "platform/security.h"

#include "platform/sim/machine.h"

namespace platform {

Win32Error GetTokenElevation(bool* elevated) {
  *elevated = sim::internal::Config()->elevated;
  return kErrorSuccess;
}

}  // namespace platform
