#include "app/machine_operation_lock.h"

#include "platform/sync.h"

namespace vellmora {

bool MachineOperationLock::Acquire(std::uint32_t timeout_ms) {
  if (Owned()) return true;
  platform::UniqueHandle mutex;
  if (platform::CreateMutexW(kMachineLockName, kMachineLockSddl, &mutex) !=
      platform::kErrorSuccess) {
    return false;
  }
  std::uint32_t wait = platform::WaitForSingleObject(mutex.Get(), timeout_ms);
  if (wait != platform::kWaitObject0 && wait != platform::kWaitAbandoned) return false;
  mutex_ = std::move(mutex);
  return true;
}

void MachineOperationLock::Release() {
  if (!Owned()) return;
  platform::ReleaseMutex(mutex_.Get());
  mutex_.Reset();
}

}  // namespace vellmora
