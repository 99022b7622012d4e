// The whole registration on the isolated stand-ins: on the simulated machine through its regsvr32
// and stand-in mode, under Wine through the real regsvr32, the server's own "-regserver" and
// COM across processes.

#include "windows/com_registration.h"

#include <fstream>
#include <functional>
#include <iterator>

#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/system_errors.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "windows/com_class_paths.h"
#include "windows/com_registration_fixture.h"
#include "windows/com_registration_validation.h"
#include "windows/process_control.h"
#include "windows/product_registry_key.h"

namespace vellmora::testing {
namespace {

class ComRegistrationProcedureTest : public ComRegistrationTest {
 protected:
  bool MarkerPresent() {
    std::uint32_t version = 0;
    return ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, kComIdentityVersionValue,
                             &version);
  }
  bool PrivateRegistrationLeft() {
    std::vector<std::wstring> interfaces;
    std::wstring value;
    return !ListInterfacesWithPrivateProxy(RegistryRoot::kLocalMachine, platform::kKeyWow64_64Key,
                                           &interfaces) ||
           !interfaces.empty() ||
           ReadRegistryString(RegistryRoot::kLocalMachine,
                              (std::wstring(kClassesKeyPrefix) + L"CLSID\\" + kPrivateServerClsid +
                               L"\\LocalServer32")
                                  .c_str(),
                              nullptr, &value);
  }
  bool ServerRunning() {
    return AnyNamedProcessUnder(install_dir_, {kPrivateServerFile}, 0);
  }
};

TEST_F(ComRegistrationProcedureTest, TheIsolatedEngineRegistersAndActivatesAcrossProcesses) {
  InstallIsolatedEngine();
  ASSERT_TRUE(engine_.RegisterComComponents()) << TakeLog();
  const std::string log = TakeLog();
  EXPECT_NE(log.find("[+] Vellmora COM server, proxy, and critical interfaces registered.\n"),
            std::string::npos);
  EXPECT_NE(log.find("Vellmora private IVirtualBox activation succeeded.\n"), std::string::npos);
  EXPECT_EQ(log.find("COM validation failed"), std::string::npos);
  std::uint32_t version = 0;
  ASSERT_TRUE(ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, kComIdentityVersionValue,
                                &version));
  EXPECT_EQ(version, 4u);
  EXPECT_TRUE(ValidateComRegistration(engine_, install_dir_, kComProxyInterfaceCount));
  EXPECT_FALSE(ServerRunning());

  // A complete registration is left as it is.
  EXPECT_TRUE(EnsureComRegistration(engine_));
  EXPECT_EQ(TakeLog().find("repairing"), std::string::npos);
  EXPECT_TRUE(MarkerPresent());
}

TEST_F(ComRegistrationProcedureTest, EachFailureHasItsLineRollsBackAndLeavesNoMarker) {
  struct Case {
    const char* name;
    std::string server;
    std::function<void()> arrange;
    std::string line;
  };
  const Case cases[] = {
      {"an unpatched server", "KolvSVC.exe",
       [this] {
         ASSERT_TRUE(WriteTestFile(JoinPath(install_dir_, kPrivateServerFile), StandInBytes("KolvSVC.exe")));
       },
       "COM registration refused: "},
      {"a per-user proxy for IVirtualBox", "KolvSVC.exe",
       [this] {
         WriteUserClassValue(std::wstring(L"Interface\\") + kPrivateIVirtualBox + L"\\ProxyStubClsid32",
                               L"{00000000-1111-2222-3333-444444444444}");
       },
       "COM validation failed: IVirtualBox.\n"},
      {"a per-user server path", "KolvSVC.exe",
       [this] {
         WriteUserClassValue(std::wstring(L"CLSID\\") + kPrivateServerClsid + L"\\LocalServer32",
                               L"\"C:\\Elsewhere\\VLMServ.exe\"");
       },
       "COM registration failed: the Vellmora class paths could not be prepared.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InstallIsolatedEngine(c.server);
    c.arrange();
    EXPECT_FALSE(engine_.RegisterComComponents());
    const std::string log = TakeLog();
    EXPECT_NE(log.find(c.line), std::string::npos) << log;
    EXPECT_FALSE(MarkerPresent());
    EXPECT_FALSE(PrivateRegistrationLeft());
    EXPECT_FALSE(ServerRunning());
    DeleteRegistryTree(RegistryRoot::kCurrentUser, L"SOFTWARE\\Classes\\CLSID");
    DeleteRegistryTree(RegistryRoot::kCurrentUser, L"SOFTWARE\\Classes\\Interface");
  }
}

TEST_F(ComRegistrationProcedureTest, AServerThatNeverServesFailsTheActivation) {
  if (TestMachine::IsSimulated()) {
    GTEST_SKIP() << "the simulated machine answers activations from the registry alone";
  }
  InstallIsolatedEngine();
  ASSERT_TRUE(engine_.RegisterComComponents()) << TakeLog();
  // The server that never serves, with its identities rewritten as the isolation rewrites them
  // (its proof fails: it carries no class to serve), in place of the registered one.
  const Path other = machine_.In(L"NoServe");
  IsolateEngineInto(other, "KolvSVC-NoServe.exe");
  std::string bytes;
  ASSERT_TRUE(ReadTestFile(JoinPath(other, kPrivateServerFile), &bytes));
  ASSERT_TRUE(WriteTestFile(JoinPath(install_dir_, kPrivateServerFile), bytes));
  TakeLog();

  EXPECT_FALSE(VerifyComRegistration(engine_));
  const std::string log = TakeLog();
  EXPECT_NE(log.find("COM activation failed: VLMServ.exe could not provide private IVirtualBox (0x"),
            std::string::npos)
      << log;
  EXPECT_FALSE(ServerRunning());
}

TEST_F(ComRegistrationProcedureTest, AFileSystemErrorMidwayStillRollsBack) {
#if VELLMORA_PLATFORM_SIM
  InstallIsolatedEngine();
  ASSERT_TRUE(WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, kComIdentityVersionValue, 4));
  sim::InjectFault({"get_attributes", System32Dir() + L"\\regsvr32.exe", 1, 5});
  EXPECT_THROW(engine_.RegisterComComponents(), FileSystemError);
  EXPECT_FALSE(MarkerPresent());
  EXPECT_FALSE(PrivateRegistrationLeft());
#else
  GTEST_SKIP() << "needs the simulated machine's fault injection";
#endif
}

TEST_F(ComRegistrationProcedureTest, ARepairKeepsAWorkingRegistrationWhenItCannotPrepare) {
  InstallIsolatedEngine();
  ASSERT_TRUE(engine_.RegisterComComponents()) << TakeLog();
  // Broken for this user only: the class paths cannot be prepared, and nothing is removed.
  WriteUserClassValue(std::wstring(L"CLSID\\") + kPrivateServerClsid + L"\\LocalServer32",
                      L"\"C:\\Elsewhere\\VLMServ.exe\"");
  TakeLog();
  EXPECT_FALSE(EnsureComRegistration(engine_));
  const std::string log = TakeLog();
  EXPECT_NE(log.find("COM repair refused: the Vellmora class paths could not be prepared; the "
                     "existing registration was left as it is.\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(PrivateRegistrationLeft());

  // Broken on the machine: repaired.
  DeleteRegistryTree(RegistryRoot::kCurrentUser, L"SOFTWARE\\Classes\\CLSID");
  DeleteRegistryTree(RegistryRoot::kLocalMachine, std::wstring(kClassesKeyPrefix) + L"TypeLib\\" + kPrivateTypeLib);
  EXPECT_TRUE(EnsureComRegistration(engine_)) << TakeLog();
  EXPECT_TRUE(MarkerPresent());
  EXPECT_TRUE(ValidateComRegistration(engine_, install_dir_, kComProxyInterfaceCount));
}

}  // namespace
}  // namespace vellmora::testing
