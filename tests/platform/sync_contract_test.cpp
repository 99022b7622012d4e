#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/sync.h"
#include "platform/system.h"
#include "support/test_machine.h"

namespace {

using namespace platform;
using vellmora::testing::TestMachine;

class SyncContract : public ::testing::Test {
 protected:
  std::wstring Name() const {
    const std::wstring& scratch = machine_.ScratchKey();
    return L"VellmoraContract-" + scratch.substr(scratch.rfind(L'\\') + 1);
  }
  UniqueHandle Create() {
    UniqueHandle mutex;
    EXPECT_EQ(CreateMutexW(Name(), L"", &mutex), kErrorSuccess);
    return mutex;
  }
  // Runs body on a thread of its own and waits for it.
  template <typename Body>
  static void OnOtherThread(Body body) {
    std::thread thread(body);
    thread.join();
  }

  TestMachine machine_;
};

TEST_F(SyncContract, TheOwningThreadMayWaitAgainAndReleasesEveryLevel) {
  UniqueHandle mutex = Create();
  ASSERT_EQ(WaitForSingleObject(mutex.Get(), 0), kWaitObject0);
  ASSERT_EQ(WaitForSingleObject(mutex.Get(), 0), kWaitObject0);
  EXPECT_EQ(ReleaseMutex(mutex.Get()), kErrorSuccess);
  // Still owned once: another thread cannot have it yet.
  OnOtherThread([&] { EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), kWaitTimeout); });
  EXPECT_EQ(ReleaseMutex(mutex.Get()), kErrorSuccess);
  EXPECT_EQ(ReleaseMutex(mutex.Get()), kErrorNotOwner);
}

TEST_F(SyncContract, AnotherThreadWaitsUntilTheTimeOutOrTheRelease) {
  UniqueHandle mutex = Create();
  ASSERT_EQ(WaitForSingleObject(mutex.Get(), kInfinite), kWaitObject0);
  OnOtherThread([&] {
    std::uint64_t start = GetTickCount64();
    EXPECT_EQ(WaitForSingleObject(mutex.Get(), 200), kWaitTimeout);
    EXPECT_GE(GetTickCount64() - start, 150u);
    EXPECT_EQ(ReleaseMutex(mutex.Get()), kErrorNotOwner);
  });

  std::atomic<bool> waiting{false};
  std::atomic<std::uint32_t> result{kWaitFailed};
  std::thread waiter([&] {
    waiting = true;
    result = WaitForSingleObject(mutex.Get(), 10000);
    if (result == kWaitObject0) ReleaseMutex(mutex.Get());
  });
  while (!waiting) Sleep(1);
  Sleep(50);
  EXPECT_EQ(ReleaseMutex(mutex.Get()), kErrorSuccess);
  waiter.join();
  EXPECT_EQ(result.load(), kWaitObject0);
}

TEST_F(SyncContract, HandlesOfOneNameShareOneMutex) {
  UniqueHandle first = Create();
  UniqueHandle second = Create();
  ASSERT_NE(first.Get(), second.Get());
  ASSERT_EQ(WaitForSingleObject(first.Get(), 0), kWaitObject0);
  EXPECT_EQ(WaitForSingleObject(second.Get(), 0), kWaitObject0);  // the same owner, again
  OnOtherThread([&] { EXPECT_EQ(WaitForSingleObject(second.Get(), 0), kWaitTimeout); });
  EXPECT_EQ(ReleaseMutex(second.Get()), kErrorSuccess);
  EXPECT_EQ(ReleaseMutex(first.Get()), kErrorSuccess);
  OnOtherThread([&] {
    EXPECT_EQ(WaitForSingleObject(second.Get(), 0), kWaitObject0);
    EXPECT_EQ(ReleaseMutex(first.Get()), kErrorSuccess);
  });
}

TEST_F(SyncContract, AMutexWhoseOwnerThreadEndedIsHandedOnAsAbandoned) {
  UniqueHandle mutex = Create();
  OnOtherThread([&] { ASSERT_EQ(WaitForSingleObject(mutex.Get(), 0), kWaitObject0); });
  EXPECT_EQ(WaitForSingleObject(mutex.Get(), 1000), kWaitAbandoned);
  // Abandonment is reported once; the new owner holds it normally.
  EXPECT_EQ(ReleaseMutex(mutex.Get()), kErrorSuccess);
  EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), kWaitObject0);
  EXPECT_EQ(ReleaseMutex(mutex.Get()), kErrorSuccess);
}

TEST_F(SyncContract, WaitingOnAClosedHandleFails) {
  UniqueHandle mutex = Create();
  RawHandle stale = mutex.Get();
  mutex.Reset();
  EXPECT_EQ(WaitForSingleObject(stale, 0), kWaitFailed);
  EXPECT_NE(ReleaseMutex(stale), kErrorSuccess);
}

}  // namespace
