#include "windows/com_activation_test.h"

#include <functional>
#include <thread>

#include "app/path_helpers.h"
#include "platform/com_activation.h"
#include "platform/files.h"
#include "windows/com_class_paths.h"
#include "windows/com_registration_fixture.h"

namespace vellmora::testing {
namespace {

// The simulated machine answers from the registry; on Windows the fixture's binaries are no
// programs, so the activation cases live on the sim and the real one runs with the stand-ins.
class PrivateComActivationTest : public ComRegistrationTest {
 protected:
  void SetUp() override {
    REQUIRE_SIMULATED_MACHINE();
    WriteCompleteRegistration();
    TakeLog();
  }
};

TEST_F(PrivateComActivationTest, ACompleteRegistrationActivatesTheServer) {
  EXPECT_TRUE(TestPrivateComActivation(engine_));
  EXPECT_EQ(TakeLog(), "Vellmora private IVirtualBox activation succeeded.\n");
}

TEST_F(PrivateComActivationTest, WhatComWouldMissDecidesTheFailure) {
  const std::wstring server_class = std::wstring(kClassesKeyPrefix) + L"CLSID\\" + kPrivateServerClsid;
  struct Case {
    const char* name;
    std::function<void()> change;
    const char* code;
  };
  const Case cases[] = {
      {"no server class",
       [&] { DeleteRegistryTree(RegistryRoot::kLocalMachine, server_class); }, "0x80040154"},
      {"a per-user server path to a missing file",
       [&] {
         WriteUserClassValue(std::wstring(L"CLSID\\") + kPrivateServerClsid + L"\\LocalServer32",
                             L"\"C:\\Missing\\VLMServ.exe\"");
       },
       "0x80070002"},
      {"no proxy for IVirtualBox",
       [&] {
         DeleteRegistryTree(RegistryRoot::kLocalMachine,
                            std::wstring(kClassesKeyPrefix) + L"Interface\\" + kPrivateIVirtualBox);
       },
       "0x80004002"},
      {"the proxy library missing",
       [&] { platform::DeleteFileW(JoinPath(install_dir_, kProxyLibraryFile)); }, "0x80004002"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.change();
    EXPECT_FALSE(TestPrivateComActivation(engine_));
    EXPECT_EQ(TakeLog(), std::string("COM activation failed: VLMServ.exe could not provide private "
                                     "IVirtualBox (") + c.code + ").\n");
    DeleteRegistryTree(RegistryRoot::kCurrentUser, L"SOFTWARE\\Classes\\CLSID");
    WriteCompleteRegistration();
  }
}

TEST_F(PrivateComActivationTest, ASingleThreadedCallerKeepsItsComInitialised) {
  std::thread caller([&] {
    ASSERT_EQ(platform::CoInitializeEx(platform::kCoinitApartmentThreaded), platform::kSOk);
    EXPECT_TRUE(TestPrivateComActivation(engine_));
    // Still initialised, still single-threaded.
    EXPECT_EQ(platform::CoInitializeEx(platform::kCoinitApartmentThreaded), platform::kSFalse);
    platform::CoUninitialize();
    platform::CoUninitialize();
  });
  caller.join();
}

}  // namespace
}  // namespace vellmora::testing
