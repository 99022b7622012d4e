// A machine that carries the side-by-side edition whole: its registry keys under HKLM and HKCU, the
// shared COM registration with the original identities into its own root, and its driver. No
// operation of the product that does not exist to change them may change a byte of them.

#include <functional>

#include "app/path_helpers.h"
#include "app/text.h"
#include "platform/services.h"
#include "support/service_records.h"
#include "windows/com_class_paths.h"
#include "windows/com_interface_iids.h"
#include "windows/com_registration_fixture.h"
#include "windows/com_registration.h"
#include "windows/com_registration_validation.h"
#include "windows/com_activation_test.h"
#include "windows/driver_services.h"
#include "windows/legacy_com_migration.h"
#include "windows/private_com_removal.h"
#include "windows/product_registry_entries.h"

namespace vellmora::testing {
namespace {

constexpr const wchar_t* kForeignDriver = L"PellucadorDrv_kta5";
constexpr const wchar_t* kOriginalProxy = L"{F3265CBC-288B-4670-9518-1A0B4A58192F}";

class ForeignEditionsTest : public ComRegistrationTest {
 protected:
  ForeignEditionsTest() : root_(machine_.In(L"Programs\\Pellucador_kta5")) {}
  ~ForeignEditionsTest() override {
    DeleteServiceRecord(kForeignDriver);
    for (RegistryRoot root : {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser}) {
      DeleteRegistryTree(root, L"SOFTWARE\\Pellucador_kta5");
      DeleteRegistryTree(root, L"SOFTWARE\\Pellucador_vod");
    }
  }

  // Everything of the foreign editions, as text.
  std::string ForeignState() {
    std::string state;
    for (RegistryRoot root : {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser}) {
      state += Dump(root, L"SOFTWARE\\Pellucador_kta5") + Dump(root, L"SOFTWARE\\Pellucador_vod");
    }
    for (const wchar_t* key :
         {L"CLSID\\{AE316C2B-C93A-4B56-93F9-696F59A5E91F}", L"CLSID\\{F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A}",
          L"CLSID\\{F2DB3C6E-125C-4103-97F9-E4BC42A449F4}", L"CLSID\\{F3265CBC-288B-4670-9518-1A0B4A58192F}",
          L"TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}", L"AppID\\{780F9948-8F17-41BD-BB08-3DB2F47684B8}",
          L"AppID\\KolvSVC.exe", L"VirtualBox.VirtualBox", L"VirtualBox.VirtualBoxClient.1",
          L"VirtualBox.Session"}) {
      state += Dump(RegistryRoot::kLocalMachine, kClassesKeyPrefix + std::wstring(key));
    }
    for (std::string_view iid : kComInterfaceIids) {
      std::wstring key(kClassesKeyPrefix);
      key.append(L"Interface\\{").append(FromUtf8(std::string(iid))).push_back(L'}');
      state += Dump(RegistryRoot::kLocalMachine, key);
    }
    platform::ServiceHandle manager;
    platform::ServiceHandle service;
    platform::ServiceConfig config;
    std::uint32_t current = 0;
    if (platform::OpenSCManagerW(platform::kScManagerConnect, &manager) == 0 &&
        platform::OpenServiceW(manager, kForeignDriver,
                               platform::kServiceQueryConfig | platform::kServiceQueryStatus,
                               &service) == 0 &&
        platform::QueryServiceConfigW(service, &config) == 0 &&
        platform::QueryServiceStatusEx(service, &current) == 0) {
      state += "service " + std::to_string(config.service_type) + " " +
               std::to_string(config.start_type) + " " + std::to_string(current) + " " +
               ToUtf8(config.binary_path_name) + "\n";
    }
    return state;
  }

  void InstallForeignEditions() {
    ASSERT_TRUE(MakeTestDirectories(root_));
    for (const wchar_t* file : {L"KolvSVC.exe", L"KolvC.dll", L"KolvProxyStub.dll"}) {
      ASSERT_TRUE(WriteTestFile(JoinPath(root_, file), "MZ foreign"));
    }
    for (RegistryRoot root : {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser}) {
      ASSERT_TRUE(WriteRegistryString(root, L"SOFTWARE\\Pellucador_kta5", L"InstallDir", root_ + L"\\"));
      ASSERT_TRUE(WriteRegistryString(root, L"SOFTWARE\\Pellucador_kta5", L"Version", L"7.1.0.0"));
      ASSERT_TRUE(WriteRegistryDword(root, L"SOFTWARE\\Pellucador_kta5", L"IsUpgrade", 1));
      ASSERT_TRUE(WriteRegistryString(root, L"SOFTWARE\\Pellucador_vod", L"InstallDir",
                                      machine_.In(L"Programs\\Pellucador_vod\\")));
    }
    for (const LegacyComClassPath& row : LegacyComClassPaths()) {
      std::wstring data = row.file ? JoinPath(root_, row.file) : root_;
      ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, row.value_key, nullptr,
                                      row.quoted ? QuoteArgument(data) + L" -Embedding" : data));
    }
    for (std::string_view iid : kComInterfaceIids) {
      std::wstring key(L"Interface\\{");
      key.append(FromUtf8(std::string(iid))).append(L"}\\ProxyStubClsid32");
      WriteMachineClassValue(key, kOriginalProxy);
    }
    WriteMachineClassValue(L"VirtualBox.VirtualBox\\CLSID", L"{AE316C2B-C93A-4B56-93F9-696F59A5E91F}");
    WriteMachineClassValue(L"VirtualBox.VirtualBoxClient.1\\CLSID",
                           L"{F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A}");
    WriteMachineClassValue(L"VirtualBox.Session\\CLSID", L"{F2DB3C6E-125C-4103-97F9-E4BC42A449F4}");
    WriteMachineClassValue(L"AppID\\KolvSVC.exe", L"{780F9948-8F17-41BD-BB08-3DB2F47684B8}", L"AppID");
    WriteMachineClassValue(L"AppID\\{780F9948-8F17-41BD-BB08-3DB2F47684B8}", L"Pellucador");
    ASSERT_TRUE(CreateKernelDriverRecord(kForeignDriver, JoinPath(root_, L"KolvDrv_kta5.sys")));
  }

  Path root_;
};

TEST_F(ForeignEditionsTest, NoOperationOfTheProductChangesAByteOfThem) {
  InstallForeignEditions();
  InstallIsolatedEngine();
  const std::string before = ForeignState();
  ASSERT_NE(before.find("service "), std::string::npos);

  const std::pair<const char*, std::function<void()>> operations[] = {
      {"registration", [&] { EXPECT_TRUE(engine_.RegisterComComponents()) << TakeLog(); }},
      {"repair of a complete registration", [&] { EXPECT_TRUE(EnsureComRegistration(engine_)); }},
      {"product registry entries",
       [&] { WriteProductRegistryEntries(engine_, L"MACHINE", L"VERSION", machine_.In(L"Local")); }},
      {"validation", [&] { ValidateComRegistration(engine_, install_dir_, kComProxyInterfaceCount); }},
      {"activation", [&] { TestPrivateComActivation(engine_); }},
      {"migration without legacy paths",
       [&] {
         std::string message;
         MigrateLegacyComRegistration(install_dir_, [](const Path&) { return true; }, &message);
       }},
      {"driver removal", [&] { engine_.RemoveOwnedVellmoraDriverServices(); }},
      {"private removal",
       [&] {
         std::vector<std::wstring> interfaces;
         EXPECT_TRUE(RemovePrivateComRegistration(engine_, &interfaces));
       }},
      {"rollback of nothing", [&] { RollbackPartialComRegistration(engine_); }},
  };
  for (const auto& [name, operation] : operations) {
    SCOPED_TRACE(name);
    operation();
    EXPECT_EQ(ForeignState(), before);
  }
}

}  // namespace
}  // namespace vellmora::testing
