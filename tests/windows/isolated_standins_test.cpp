// The Engine's stand-ins after the identity isolation: the patched server registers the private
// identity by its own "-regserver" (natively through the machine's stand-in mode), and under Wine
// the patched binaries, registered by themselves and by regsvr32, activate through the private
// CLSID and answer the private IVirtualBox across processes while no original identity is
// registered at all.

#include "windows/engine_com_isolation.h"

#include <cstring>

#include "app/path_helpers.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "platform/paths.h"
#include "standins/standin_support.h"
#include "windows/windows_test.h"

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>

namespace standin_test {
// Every interface of the stand-in proxy has this one method after IUnknown's (outside the
// anonymous namespace, so that the compiler cannot conclude nothing implements it).
struct IIsolatedPing : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Ping(LONG value, LONG* answer) = 0;
};
}  // namespace standin_test
#endif

namespace vellmora::testing {
namespace {

using standin_test::RunAndWait;

const char* const kStandIns[] = {
    "Vellmora.exe",     "KolvSVC.exe",     "KolvC.dll",       "KolvProxyStub.dll",
    "RV-MultiInstanceManager.exe", "KolvVMMgr.exe", "VBoxCAPI.dll", "KolvTypeLib.dll",
    "RV-Common.dll",    "RV-Bridge-Native.dll", "RV-EnableHyperV.exe", "RV-DiskFormatCheck.exe",
    "RV-Apn.dll",       "RV-DiskCompaction.exe", "RV-WerHandler2.dll"};

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

bool Registered(const std::wstring& key, const wchar_t* value = nullptr,
                std::wstring* data = nullptr) {
  std::wstring ignored;
  return ReadRegistryString(RegistryRoot::kLocalMachine, (L"SOFTWARE\\Classes\\" + key).c_str(),
                            value, data ? data : &ignored);
}

std::wstring Regsvr32() { return Quoted(JoinPath(platform::GetSystemDirectoryW(), L"regsvr32.exe")); }

class IsolatedStandInsTest : public WindowsTest {
 protected:
  IsolatedStandInsTest() : dir_(machine_.In(L"Engine")) {}
  ~IsolatedStandInsTest() override {
    RunAndWait(Quoted(In(L"VLMServ.exe")) + L" -unregserver");
    if (!TestMachine::IsSimulated()) {
      RunAndWait(Regsvr32() + L" /s /u " + Quoted(In(L"KolvProxyStub.dll")));
      RunAndWait(Regsvr32() + L" /s /u " + Quoted(In(L"KolvC.dll")));
    }
  }
  platform::Path In(const wchar_t* name) const { return JoinPath(dir_, name); }

  // The stand-ins as the staged Engine holds them after path normalisation: the runtime library
  // under its isolated name.
  void StageStandIns() {
    ASSERT_TRUE(MakeTestDirectories(dir_));
    for (const char* name : kStandIns) {
      const std::string bytes = standin_test::StandInBytes(name);
      ASSERT_FALSE(bytes.empty()) << name;
      ASSERT_TRUE(WriteTestFile(In(std::wstring(name, name + std::strlen(name)).c_str()), bytes));
    }
    ASSERT_TRUE(WriteTestFile(In(L"VLCore.dll"), standin_test::StandInBytes("KolvRT.dll")));
  }

  const platform::Path dir_;
};

TEST_F(IsolatedStandInsTest, RegisterAndActivateOnlyThePrivateIdentity) {
  StageStandIns();
  engine_.SetProgressRange(0.0f, 1.0f);
  ASSERT_TRUE(IsolateEngineComIdentity(engine_, dir_, 0, 1)) << LogText();

  std::string output;
  ASSERT_EQ(RunAndWait(Quoted(In(L"VLMServ.exe")) + L" -regserver", 60000, &output), 0) << output;
  std::wstring data;
  EXPECT_TRUE(Registered(L"CLSID\\{8DC0F64F-6C11-4311-92B8-AB864871824C}\\LocalServer32", nullptr,
                         &data));
  EXPECT_EQ(data, Quoted(In(L"VLMServ.exe")));
  EXPECT_TRUE(Registered(L"AppID\\VLMServ.exe", L"AppID", &data));
  EXPECT_EQ(data, L"{5BFE032C-2A3C-49FA-BA49-FF5BE5A2EFEB}");
  EXPECT_TRUE(Registered(L"VellmoraVM.VellmoraVM.1\\CLSID", nullptr, &data));
  EXPECT_EQ(data, L"{8DC0F64F-6C11-4311-92B8-AB864871824C}");

  if (!TestMachine::IsSimulated()) {
    ASSERT_EQ(RunAndWait(Regsvr32() + L" /s " + Quoted(In(L"KolvProxyStub.dll"))), 0);
    ASSERT_EQ(RunAndWait(Regsvr32() + L" /s " + Quoted(In(L"KolvC.dll"))), 0);
    EXPECT_TRUE(Registered(L"Interface\\{C9C001B8-A7E9-4EA0-8290-342A2DD74B78}\\ProxyStubClsid32",
                           nullptr, &data));
    EXPECT_EQ(data, L"{D0D7C6D8-8DA0-4E37-9459-D8E25B8C727C}");
    EXPECT_TRUE(Registered(L"CLSID\\{D23370EB-3AE6-4B86-A99A-561C6BEFC5C9}\\InprocServer32"));
  }
  // No original identity is registered, in any of its keys.
  for (const wchar_t* original :
       {L"CLSID\\{AE316C2B-C93A-4B56-93F9-696F59A5E91F}", L"CLSID\\{F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A}",
        L"CLSID\\{F2DB3C6E-125C-4103-97F9-E4BC42A449F4}", L"CLSID\\{F3265CBC-288B-4670-9518-1A0B4A58192F}",
        L"AppID\\{780F9948-8F17-41BD-BB08-3DB2F47684B8}", L"AppID\\KolvSVC.exe",
        L"TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}\\1.3",
        L"Interface\\{EA319BDC-02C2-46E7-83D1-F6C33C03202B}", L"VirtualBox.VirtualBox",
        L"VirtualBox.Session.1"}) {
    platform::RegistryKey key;
    EXPECT_EQ(platform::RegOpenKeyExW(RegistryRoot::kLocalMachine,
                                      std::wstring(L"SOFTWARE\\Classes\\") + original,
                                      platform::kKeyRead | platform::kKeyWow64_64Key, &key),
              platform::kErrorFileNotFound)
        << ToUtf8(original);
  }

#ifdef _WIN32
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  const CLSID private_server = {0x8DC0F64F, 0x6C11, 0x4311,
                                {0x92, 0xB8, 0xAB, 0x86, 0x48, 0x71, 0x82, 0x4C}};
  const IID private_virtualbox = {0xC9C001B8, 0xA7E9, 0x4EA0,
                                  {0x82, 0x90, 0x34, 0x2A, 0x2D, 0xD7, 0x4B, 0x78}};
  const CLSID original_server = {0xAE316C2B, 0xC93A, 0x4B56,
                                 {0x93, 0xF9, 0x69, 0x6F, 0x59, 0xA5, 0xE9, 0x1F}};
  standin_test::IIsolatedPing* server = nullptr;
  EXPECT_EQ(CoCreateInstance(private_server, nullptr, CLSCTX_LOCAL_SERVER, private_virtualbox,
                             reinterpret_cast<void**>(&server)),
            S_OK);
  if (server) {
    LONG answer = 0;
    EXPECT_EQ(server->Ping(41, &answer), S_OK);
    EXPECT_EQ(answer, 42);
    server->Release();
  }
  IUnknown* original = nullptr;
  EXPECT_EQ(CoCreateInstance(original_server, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&original)),
            REGDB_E_CLASSNOTREG);
  if (original) original->Release();
  CoUninitialize();
#endif
}

}  // namespace
}  // namespace vellmora::testing
