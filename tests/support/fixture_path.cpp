#include "support/fixture_path.h"

#if VELLMORA_PLATFORM_SIM
#include "platform/sim/sim_control.h"
#endif

namespace vellmora::testing {

std::filesystem::path FixturePath(const platform::Path& path) {
#if VELLMORA_PLATFORM_SIM
  return sim::HostPathOf(path);
#else
  return path;
#endif
}

}  // namespace vellmora::testing
