#include "platform/sim/faults.h"

#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/sim_control.h"
#include "platform/sim/text.h"

namespace sim {
namespace {

struct ArmedFault {
  Fault fault;
  int seen = 0;
};

struct FaultState {
  std::mutex lock;
  std::uint64_t epoch = 0;
  std::vector<ArmedFault> armed;
};

FaultState& State() {
  static FaultState* state = new FaultState;  // outlives static destructors that use the seam
  return *state;
}

// The machine's own faults arm once per machine, when this process first looks.
void ArmMachineFaults(FaultState& state) {
  std::uint64_t epoch = internal::MachineEpoch();
  if (state.epoch == epoch) return;
  state.epoch = epoch;
  state.armed.clear();
  for (const Fault& fault : internal::Config()->faults) state.armed.push_back({fault, 0});
}

void CheckKind(const std::string& kind) {
  if (!internal::IsFaultKind(kind)) internal::Fatal("unknown fault kind \"" + kind + "\"");
}

}  // namespace

void InjectFault(const Fault& fault) {
  CheckKind(fault.kind);
  FaultState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  ArmMachineFaults(state);
  state.armed.push_back({fault, 0});
}

void ClearFaults() {
  FaultState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  ArmMachineFaults(state);
  state.armed.clear();
}

void AddMachineFault(const Fault& fault) {
  CheckKind(fault.kind);
  internal::ChangeConfig([&](internal::MachineConfig* config) { config->faults.push_back(fault); });
}

namespace internal {

namespace {

platform::Win32Error DueFault(const char* kind, const std::wstring& path,
                              const std::wstring& other_path) {
  FaultState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  ArmMachineFaults(state);
  // Every matching fault counts this operation; the first one due fires.
  auto due = state.armed.end();
  for (auto it = state.armed.begin(); it != state.armed.end(); ++it) {
    if (it->fault.kind != kind) continue;
    bool matches = GlobMatches(it->fault.path_pattern, path) ||
                   (!other_path.empty() && GlobMatches(it->fault.path_pattern, other_path));
    if (matches && ++it->seen >= it->fault.nth && due == state.armed.end()) due = it;
  }
  if (due != state.armed.end()) {
    platform::Win32Error error = due->fault.error;
    state.armed.erase(due);
    return error;
  }
  return platform::kErrorSuccess;
}

// Volatile, so that the compiler cannot see the write is through null and turn it into a trap.
int* volatile g_nowhere = nullptr;

[[noreturn]] __attribute__((noinline, no_sanitize("undefined"))) void CrashHere() {
  *g_nowhere = 1;
  std::abort();  // not reached: the write crashes
}

}  // namespace

platform::Win32Error InjectedFault(const char* kind, const std::wstring& path,
                                   const std::wstring& other_path) {
  // Decided under the fault lock, acted on after it: the crash filter goes through the seam too.
  platform::Win32Error error = DueFault(kind, path, other_path);
  if (error == kFaultCrash) CrashHere();
  if (error == kFaultThrow) {
    throw std::runtime_error("injected failure of " + std::string(kind) + " " + ToUtf8(path));
  }
  return error;
}

}  // namespace internal
}  // namespace sim
