#include "platform/shutdown.h"

#include <cstdio>

#include "platform/sim/faults.h"
#include "platform/sim/records.h"

namespace platform {

// The simulated machine never restarts; the request is recorded for whoever watches.
Win32Error ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
  if (Win32Error fault = sim::internal::InjectedFault("exit_windows", L"ExitWindowsEx")) return fault;
  char line[64];
  std::snprintf(line, sizeof line, "flags=0x%08X reason=0x%08X", flags, reason);
  sim::internal::AppendRecord(sim::internal::kRestartRecord, line);
  return kErrorSuccess;
}

}  // namespace platform
