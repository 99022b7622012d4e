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

// While anyone else holds a handle the mutex lives on, and the thread that owned it keeps it even
// after closing every handle of its own. (Once nobody has a handle left, Windows forgets the name,
// and the next CreateMutexW makes a new, unowned mutex.)
TEST_F(SyncContract, AnOwnerThatClosesItsHandleKeepsTheMutexUntilItEnds) {
  UniqueHandle other = Create();
  std::atomic<int> step{0};
  std::thread owner([&] {
    UniqueHandle mutex = Create();
    EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), kWaitObject0);
    mutex.Reset();
    step = 1;
    while (step != 2) Sleep(1);
  });
  while (step != 1) Sleep(1);
  EXPECT_EQ(WaitForSingleObject(other.Get(), 50), kWaitTimeout) << "the owner thread still has it";
  step = 2;
  owner.join();
  EXPECT_EQ(WaitForSingleObject(other.Get(), 1000), kWaitAbandoned);
  EXPECT_EQ(ReleaseMutex(other.Get()), kErrorSuccess);
}

TEST_F(SyncContract, TheOwnerReleasesThroughANewHandleOfTheName) {
  UniqueHandle keeper = Create();
  OnOtherThread([&] {
    UniqueHandle first = Create();
    ASSERT_EQ(WaitForSingleObject(first.Get(), 0), kWaitObject0);
    first.Reset();
    UniqueHandle again = Create();
    EXPECT_EQ(ReleaseMutex(again.Get()), kErrorSuccess);
    EXPECT_EQ(ReleaseMutex(again.Get()), kErrorNotOwner) << "one level was owned";
  });
  EXPECT_EQ(WaitForSingleObject(keeper.Get(), 0), kWaitObject0) << "released, not abandoned";
  EXPECT_EQ(ReleaseMutex(keeper.Get()), kErrorSuccess);
}

}  // namespace

