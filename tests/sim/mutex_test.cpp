// Named mutexes between processes of one machine (forked children stand for them).

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "fork_child.h"
#include "platform/sync.h"
#include "platform/system.h"
#include "support/test_machine.h"

namespace {

using namespace platform;
using sim_tests::RunInChild;
using vellmora::testing::TestMachine;

constexpr wchar_t kName[] = L"Global\\VellmoraDriverSwitch_v2";

// Takes the mutex in a child, which then ends with or without releasing it.
int TakeAndEnd(bool release) {
  UniqueHandle mutex;
  if (CreateMutexW(kName, L"", &mutex) != kErrorSuccess) return 10;
  if (WaitForSingleObject(mutex.Get(), 0) != kWaitObject0) return 11;
  if (release && ReleaseMutex(mutex.Get()) != kErrorSuccess) return 12;
  return 0;
}

class SimMutex : public ::testing::Test {
 protected:
  std::string LockFile() const {
    std::ifstream in(machine_.SimRoot() + "/mutexes/Global%5CVellmoraDriverSwitch_v2");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  TestMachine machine_;
};

TEST_F(SimMutex, AProcessThatEndsWithoutReleasingAbandonsTheMutex) {
  ASSERT_EQ(RunInChild([] { return TakeAndEnd(false); }).code, 0);
  EXPECT_EQ(LockFile().compare(0, 5, "held "), 0);
  UniqueHandle mutex;
  ASSERT_EQ(CreateMutexW(kName, L"", &mutex), kErrorSuccess);
  EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), kWaitAbandoned);
  ASSERT_EQ(ReleaseMutex(mutex.Get()), kErrorSuccess);
  EXPECT_EQ(LockFile(), "free\n");
  EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), kWaitObject0);
  ReleaseMutex(mutex.Get());
}

TEST_F(SimMutex, AReleasedMutexIsHandedOnNormally) {
  ASSERT_EQ(RunInChild([] { return TakeAndEnd(true); }).code, 0);
  UniqueHandle mutex;
  ASSERT_EQ(CreateMutexW(kName, L"", &mutex), kErrorSuccess);
  EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), kWaitObject0);
  ReleaseMutex(mutex.Get());
}

TEST_F(SimMutex, AnotherProcessWaitsWhileTheMutexIsHeld) {
  int taken[2];
  ASSERT_EQ(pipe(taken), 0);
  pid_t holder = sim_tests::StartChild([&] {
    close(taken[0]);
    UniqueHandle mutex;
    if (CreateMutexW(kName, L"", &mutex) != kErrorSuccess) return 10;
    if (WaitForSingleObject(mutex.Get(), 0) != kWaitObject0) return 11;
    if (write(taken[1], "x", 1) != 1) return 12;
    Sleep(1000);  // long enough for a loaded machine to reach the waits below
    return ReleaseMutex(mutex.Get()) == kErrorSuccess ? 0 : 13;
  });
  close(taken[1]);
  char signal = 0;
  ASSERT_EQ(read(taken[0], &signal, 1), 1);
  close(taken[0]);
  UniqueHandle mutex;
  ASSERT_EQ(CreateMutexW(kName, L"", &mutex), kErrorSuccess);
  EXPECT_EQ(WaitForSingleObject(mutex.Get(), 50), kWaitTimeout);
  EXPECT_EQ(WaitForSingleObject(mutex.Get(), 5000), kWaitObject0);
  EXPECT_EQ(sim_tests::WaitChild(holder).code, 0);
  ReleaseMutex(mutex.Get());
}

TEST_F(SimMutex, NamesDifferingInCaseAreDifferentMutexes) {
  UniqueHandle upper, lower;
  ASSERT_EQ(CreateMutexW(L"Vellmora", L"", &upper), kErrorSuccess);
  ASSERT_EQ(CreateMutexW(L"vellmora", L"", &lower), kErrorSuccess);
  ASSERT_EQ(WaitForSingleObject(upper.Get(), 0), kWaitObject0);
  auto other = RunInChild([&] {
    UniqueHandle mine;
    CreateMutexW(L"vellmora", L"", &mine);
    return WaitForSingleObject(mine.Get(), 0) == kWaitObject0 ? 0 : 1;
  });
  EXPECT_EQ(other.code, 0);
  ReleaseMutex(upper.Get());
}

TEST_F(SimMutex, TheCreatorsSecurityDescriptorIsRecorded) {
  UniqueHandle mutex;
  ASSERT_EQ(CreateMutexW(kName, L"D:(A;;GA;;;SY)", &mutex), kErrorSuccess);
  std::ifstream in(machine_.SimRoot() + "/mutexes/Global%5CVellmoraDriverSwitch_v2.sddl");
  std::string sddl;
  std::getline(in, sddl);
  EXPECT_EQ(sddl, "D:(A;;GA;;;SY)");
}

}  // namespace
