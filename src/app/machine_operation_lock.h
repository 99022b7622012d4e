#pragma once
// MachineOperationLock serialises every change to the installation between installer processes:
// the named machine-wide mutex "Global\VellmoraDriverSwitch_v2", open to Local System,
// Administrators and Authenticated Users so that processes of other users and elevation levels
// share it. Like every Windows mutex it is re-entrant for its owning thread: the full pipeline
// holds it while the Engine and instance procedures take it again, and each inner release leaves
// the outer ownership in place. A mutex left by a process that died counts as acquired.

#include <cstdint>

#include "platform/types.h"

namespace vellmora {

inline constexpr std::uint32_t kMachineLockTimeoutMs = 30000;
inline constexpr const wchar_t* kMachineLockName = L"Global\\VellmoraDriverSwitch_v2";
inline constexpr const wchar_t* kMachineLockSddl = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;AU)";

class MachineOperationLock {
 public:
  MachineOperationLock() = default;
  MachineOperationLock(const MachineOperationLock&) = delete;
  MachineOperationLock& operator=(const MachineOperationLock&) = delete;
  ~MachineOperationLock() { Release(); }

  // Waits up to timeout_ms; true when this object now owns the mutex (abandoned included).
  bool Acquire(std::uint32_t timeout_ms);
  // Releases and closes an owned mutex; nothing otherwise.
  void Release();
  bool Owned() const { return mutex_.Valid(); }

 private:
  platform::UniqueHandle mutex_;
};

}  // namespace vellmora
