#include <gtest/gtest.h>

#include <thread>

#include "platform/com_activation.h"
#include "support/test_machine.h"

namespace {

using namespace platform;

// Each case runs on a thread of its own, so that no other test's COM state is met.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST(ComActivationContract, InitialisationIsCountedPerThreadAndKeepsTheFirstModel) {
  OnFreshThread([] {
    EXPECT_EQ(CoInitializeEx(kCoinitApartmentThreaded), kSOk);
    EXPECT_EQ(CoInitializeEx(kCoinitApartmentThreaded), kSFalse);
    EXPECT_EQ(CoInitializeEx(kCoinitMultithreaded), kRpcEChangedMode);
    CoUninitialize();
    CoUninitialize();
  });
  OnFreshThread([] {
    EXPECT_EQ(CoInitializeEx(kCoinitMultithreaded), kSOk);
    CoUninitialize();
  });
}

TEST(ComActivationContract, AnUnregisteredLocalServerClassIsNotRegistered) {
  vellmora::testing::TestMachine machine;
  OnFreshThread([] {
    ASSERT_EQ(CoInitializeEx(kCoinitMultithreaded), kSOk);
    Guid clsid;
    Guid iunknown;
    ASSERT_EQ(CLSIDFromString(L"{5E1F6C1A-0B1D-4F3E-9C2A-7D8E9F0A1B2C}", &clsid), kSOk);
    ASSERT_EQ(CLSIDFromString(L"{00000000-0000-0000-C000-000000000046}", &iunknown), kSOk);
    ComInterface object;
    EXPECT_EQ(CoCreateInstance(clsid, kClsctxLocalServer, iunknown, &object), kRegdbEClassNotReg);
    EXPECT_FALSE(object.IsOpen());
    CoUninitialize();
  });
}

}  // namespace
