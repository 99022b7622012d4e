// The machine operation lock between installer processes.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "app/machine_operation_lock.h"
#include "platform/files.h"
#include "platform/sync.h"
#include "support/child_process.h"
#include "support/test_machine.h"

namespace vellmora::testing {
namespace {

bool WaitForFile(const platform::Path& path, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    if (platform::GetFileAttributesW(path) != platform::kInvalidFileAttributes) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(MachineLockProcessTest, HeldElsewhereTimesOutAndAnAbandonedLockIsAcquired) {
  TestMachine machine;
  platform::Path marker = machine.In(L"holding");
  ChildProcess holder;
  ASSERT_TRUE(holder.Start(BuiltExecutable(VELLMORA_LOCK_HOLDER_EXE),
                           L"hold " + marker + L" 3000", machine.SimRoot()));
  ASSERT_TRUE(WaitForFile(marker, 30000)) << "the holder never took the lock";

  {
    MachineOperationLock lock;
    EXPECT_FALSE(lock.Acquire(300)) << "another process owns the lock";
    EXPECT_FALSE(lock.Owned());
  }

  // The holder ends without releasing: the mutex is abandoned and must not block anyone.
  ChildResult held = holder.Wait(30000);
  ASSERT_TRUE(held.finished);
  EXPECT_EQ(held.exit_code, 0);
  MachineOperationLock lock;
  EXPECT_TRUE(lock.Acquire(5000));
}

// A process that closes its handle keeps ownership: only its thread's end gives the mutex up.
TEST(MachineLockProcessTest, AnOwnerThatClosedItsHandleHoldsTheLockUntilItEnds) {
  TestMachine machine;
  // A handle of our own keeps the mutex and its name alive, as a waiting installer's does.
  platform::UniqueHandle mutex;
  ASSERT_EQ(platform::CreateMutexW(kMachineLockName, kMachineLockSddl, &mutex), 0u);
  platform::Path marker = machine.In(L"holding");
  ChildProcess holder;
  ASSERT_TRUE(holder.Start(BuiltExecutable(VELLMORA_LOCK_HOLDER_EXE),
                           L"hold-closed " + marker + L" 2000", machine.SimRoot()));
  ASSERT_TRUE(WaitForFile(marker, 30000)) << "the holder never took the lock";
  EXPECT_EQ(platform::WaitForSingleObject(mutex.Get(), 300), platform::kWaitTimeout);
  ChildResult held = holder.Wait(30000);
  ASSERT_TRUE(held.finished);
  EXPECT_EQ(held.exit_code, 0);
  EXPECT_EQ(platform::WaitForSingleObject(mutex.Get(), 5000), platform::kWaitAbandoned);
  EXPECT_EQ(platform::ReleaseMutex(mutex.Get()), 0u);
}

TEST(MachineLockProcessTest, OwnedHereBlocksAnotherProcessUntilReleased) {
  TestMachine machine;
  MachineOperationLock outer;
  ASSERT_TRUE(outer.Acquire(kMachineLockTimeoutMs));
  {
    // Re-entrant for this thread: the inner release leaves the outer ownership in place.
    MachineOperationLock inner;
    ASSERT_TRUE(inner.Acquire(1000));
  }
  ChildResult blocked = RunChild(BuiltExecutable(VELLMORA_LOCK_HOLDER_EXE), L"try 500",
                                 machine.SimRoot());
  ASSERT_TRUE(blocked.finished);
  EXPECT_EQ(blocked.exit_code, 1);

  outer.Release();
  ChildResult free_again = RunChild(BuiltExecutable(VELLMORA_LOCK_HOLDER_EXE), L"try 5000",
                                    machine.SimRoot());
  ASSERT_TRUE(free_again.finished);
  EXPECT_EQ(free_again.exit_code, 0);
}

}  // namespace
}  // namespace vellmora::testing
