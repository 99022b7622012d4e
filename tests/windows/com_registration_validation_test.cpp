#include "windows/com_registration_validation.h"

#include <algorithm>
#include <functional>

#include "app/path_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "support/wine_detection.h"
#include "windows/com_class_paths.h"
#include "windows/com_interface_iids.h"
#include "windows/com_registration_fixture.h"

namespace vellmora::testing {
namespace {

using ComValidationTest = ComRegistrationTest;

std::string FailureLines(const std::vector<const char*>& labels) {
  std::string lines;
  for (const char* label : labels) lines += std::string("COM validation failed: ") + label + ".\n";
  return lines;
}

TEST_F(ComValidationTest, EachBrokenPartFailsItsOwnRowAndOnlyThat) {
  const std::wstring server_key = std::wstring(L"CLSID\\") + kPrivateServerClsid + L"\\LocalServer32";
  const std::wstring server = QuoteArgument(JoinPath(install_dir_, kPrivateServerFile));
  const std::wstring help_dir = std::wstring(L"TypeLib\\") + kPrivateTypeLib + L"\\1.3\\HELPDIR";
  const std::wstring ivirtualbox = std::wstring(L"Interface\\") + kPrivateIVirtualBox + L"\\ProxyStubClsid32";
  struct Case {
    const char* name;
    std::function<void()> change;
    std::vector<const char*> failing;
  };
  const Case cases[] = {
      {"complete", [] {}, {}},
      {"server file missing",
       [&] { ASSERT_EQ(platform::DeleteFileW(JoinPath(install_dir_, kPrivateServerFile)), 0u); },
       {"VLMServ.exe file"}},
      {"a per-user server path elsewhere",
       [&] { WriteUserClassValue(server_key, L"\"C:\\Elsewhere\\VLMServ.exe\""); },
       {"VLMServ LocalServer32 path"}},
      {"the per-user server path is ours in other letter case",
       [&] { WriteUserClassValue(server_key, ToLowerCase(server)); }, {}},
      {"a per-user proxy for IVirtualBox",
       [&] { WriteUserClassValue(ivirtualbox, L"{00000000-1111-2222-3333-444444444444}"); },
       // The merged view then lists one interface fewer with the private proxy; Wine's
       // HKEY_CLASSES_ROOT shows only the machine's classes.
       RunningUnderWine() ? std::vector<const char*>{"IVirtualBox"}
                          : std::vector<const char*>{"IVirtualBox",
                                                     "complete VirtualBox proxy interface set"}},
      {"wrong threading model",
       [&] {
         WriteMachineClassValue(std::wstring(L"CLSID\\") + kPrivateClientClsid + L"\\InprocServer32",
                                L"Apartment", L"ThreadingModel");
       },
       {"KolvC client threading model"}},
      {"help directory with a trailing backslash",
       [&] { WriteMachineClassValue(help_dir, install_dir_ + L"\\"); }, {}},
      {"help directory elsewhere",
       [&] { WriteMachineClassValue(help_dir, L"C:\\Elsewhere"); },
       {"VirtualBox type library help path"}},
      {"one interface short",
       [&] {
         DeleteRegistryTree(RegistryRoot::kLocalMachine,
                            std::wstring(kClassesKeyPrefix) + L"Interface\\" +
                                PrivateIid(kComInterfaceIids[0]));
       },
       {"complete VirtualBox proxy interface set"}},
  };
  WriteCompleteRegistration();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Back to complete: what the cases change, written again.
    InstallBinaries();
    ASSERT_TRUE(WriteComClassPaths(RegistryRoot::kLocalMachine, install_dir_));
    WriteMachineClassValue(
        L"Interface\\" + PrivateIid(kComInterfaceIids[0]) + L"\\ProxyStubClsid32", kPrivateProxyClsid);
    DeleteRegistryTree(RegistryRoot::kCurrentUser, L"SOFTWARE\\Classes\\CLSID");
    DeleteRegistryTree(RegistryRoot::kCurrentUser, L"SOFTWARE\\Classes\\Interface");
    c.change();
    TakeLog();
    EXPECT_EQ(ValidateComRegistration(engine_, install_dir_, 224), c.failing.empty());
    EXPECT_EQ(TakeLog(), FailureLines(c.failing));
  }
}

TEST_F(ComValidationTest, AnEmptyMachineFailsEveryRowEachOnItsOwnLine) {
  EXPECT_FALSE(ValidateComRegistration(engine_, install_dir_, 224));
  EXPECT_EQ(TakeLog(),
            FailureLines({"VLMServ.exe file", "KolvC.dll file", "KolvProxyStub.dll file",
                          "VLMServ LocalServer32 path", "KolvC client path",
                          "KolvC client threading model", "KolvC session path",
                          "KolvC session threading model", "KolvProxyStub path",
                          "KolvProxyStub threading model", "VirtualBox type library path",
                          "VirtualBox type library help path", "IVirtualBoxClient", "IVirtualBox",
                          "ISession", "complete VirtualBox proxy interface set"}));
}

TEST_F(ComValidationTest, OnlyInterfacesNamingThePrivateProxyAreListed) {
  std::vector<std::wstring> keys;
  ASSERT_TRUE(ListInterfacesWithPrivateProxy(RegistryRoot::kLocalMachine,
                                             platform::kKeyWow64_64Key, &keys));
  const std::size_t before = keys.size();
  WriteSelfRegistration(3);
  WriteMachineClassValue(L"Interface\\" + PrivateIid(kComInterfaceIids[3]) + L"\\ProxyStubClsid32",
                         L"{00000000-1111-2222-3333-444444444444}");
  ASSERT_TRUE(ListInterfacesWithPrivateProxy(RegistryRoot::kLocalMachine,
                                             platform::kKeyWow64_64Key, &keys));
  EXPECT_EQ(keys.size(), before + 3);
  EXPECT_NE(std::find(keys.begin(), keys.end(),
                      L"SOFTWARE\\Classes\\Interface\\" + PrivateIid(kComInterfaceIids[1])),
            keys.end());
  ASSERT_TRUE(ListInterfacesWithPrivateProxy(RegistryRoot::kClassesRoot,
                                             platform::kKeyWow64_64Key, &keys));
  EXPECT_NE(std::find(keys.begin(), keys.end(), L"Interface\\" + PrivateIid(kComInterfaceIids[2])),
            keys.end());
}

}  // namespace
}  // namespace vellmora::testing
