#include "windows/private_com_removal.h"

#include "app/path_helpers.h"
#include "app/text.h"
#include "windows/com_class_paths.h"
#include "windows/com_interface_iids.h"
#include "windows/com_registration_fixture.h"
#include "windows/com_registration_validation.h"
#include "windows/product_registry_key.h"

namespace vellmora::testing {
namespace {

using PrivateComRemovalTest = ComRegistrationTest;

constexpr const char* kWarning =
    "COM cleanup warning: a private key was not removed because its owner could not be "
    "confirmed.\n";

bool KeyExists(RegistryRoot root, const std::wstring& key) {
  platform::RegistryKey opened;
  return platform::RegOpenKeyExW(root, key, platform::kKeyQueryValue | ViewMaskOf(root),
                                 &opened) == platform::kErrorSuccess;
}

std::wstring ClassKey(const std::wstring& key) { return kClassesKeyPrefix + key; }

TEST_F(PrivateComRemovalTest, AnOwnedRegistrationGoesWholeWithItsMarker) {
  WriteCompleteRegistration();
  ASSERT_TRUE(WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, kComIdentityVersionValue, 4));
  std::vector<std::wstring> interfaces;
  EXPECT_TRUE(RemovePrivateComRegistration(engine_, &interfaces));
  EXPECT_EQ(TakeLog(), "");
  EXPECT_EQ(interfaces.size(), 224u);

  std::uint32_t marker = 0;
  EXPECT_FALSE(ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, kComIdentityVersionValue, &marker));
  std::vector<std::wstring> left;
  ASSERT_TRUE(ListInterfacesWithPrivateProxy(RegistryRoot::kLocalMachine, platform::kKeyWow64_64Key, &left));
  EXPECT_TRUE(left.empty());
  for (const wchar_t* key :
       {L"CLSID\\{8DC0F64F-6C11-4311-92B8-AB864871824C}", L"CLSID\\{D23370EB-3AE6-4B86-A99A-561C6BEFC5C9}",
        L"CLSID\\{D12AA60A-B777-4944-96B8-2655537022A7}", L"CLSID\\{D0D7C6D8-8DA0-4E37-9459-D8E25B8C727C}",
        L"TypeLib\\{2673AC5A-DF3A-4EF6-9B7D-1D8E4F762EDA}", L"AppID\\{5BFE032C-2A3C-49FA-BA49-FF5BE5A2EFEB}",
        L"AppID\\VLMServ.exe", L"VellmoraVM.VellmoraVM", L"VellmoraVM.Session.1"}) {
    SCOPED_TRACE(ToUtf8(key));
    EXPECT_FALSE(KeyExists(RegistryRoot::kLocalMachine, ClassKey(key)));
  }
}

TEST_F(PrivateComRemovalTest, WhatDoesNotProveOwnershipStaysAndIsReportedOnce) {
  WriteCompleteRegistration();
  ASSERT_TRUE(WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, kComIdentityVersionValue, 4));
  // The server class now belongs to another directory; a ProgID names another installation's class.
  const std::wstring server_path = std::wstring(L"CLSID\\") + kPrivateServerClsid + L"\\LocalServer32";
  WriteMachineClassValue(server_path, L"\"E:\\Other\\VLMServ.exe\"");
  WriteMachineClassValue(L"VellmoraVM.Session\\CLSID", L"{11111111-2222-3333-4444-555555555555}");

  std::vector<std::wstring> interfaces;
  EXPECT_FALSE(RemovePrivateComRegistration(engine_, &interfaces));
  EXPECT_EQ(TakeLog(), kWarning);
  // The marker went first all the same.
  std::uint32_t marker = 0;
  EXPECT_FALSE(ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, kComIdentityVersionValue, &marker));
  std::wstring kept;
  EXPECT_TRUE(ReadRegistryString(RegistryRoot::kLocalMachine, ClassKey(server_path).c_str(), nullptr, &kept));
  EXPECT_EQ(kept, L"\"E:\\Other\\VLMServ.exe\"");
  EXPECT_TRUE(KeyExists(RegistryRoot::kLocalMachine, ClassKey(L"AppID\\VLMServ.exe")));
  EXPECT_TRUE(KeyExists(RegistryRoot::kLocalMachine, ClassKey(L"VellmoraVM.VellmoraVM")));
  // Ours and provably ours: gone. The foreign ProgID is kept without counting against the result.
  EXPECT_FALSE(KeyExists(RegistryRoot::kLocalMachine, ClassKey(std::wstring(L"CLSID\\") + kPrivateClientClsid)));
  EXPECT_FALSE(KeyExists(RegistryRoot::kLocalMachine, ClassKey(L"VellmoraVM.Session.1")));
  EXPECT_TRUE(KeyExists(RegistryRoot::kLocalMachine, ClassKey(L"VellmoraVM.Session")));
}

TEST_F(PrivateComRemovalTest, AForeignProgIdAloneDoesNotMakeTheRemovalFail) {
  WriteCompleteRegistration();
  WriteMachineClassValue(L"VellmoraVM.Session\\CLSID", L"{11111111-2222-3333-4444-555555555555}");
  std::vector<std::wstring> interfaces;
  EXPECT_TRUE(RemovePrivateComRegistration(engine_, &interfaces));
  EXPECT_TRUE(KeyExists(RegistryRoot::kLocalMachine, ClassKey(L"VellmoraVM.Session")));
}

TEST_F(PrivateComRemovalTest, InterfacesStayWhenTheProxyIsNotOurs) {
  WriteCompleteRegistration();
  WriteMachineClassValue(std::wstring(L"CLSID\\") + kPrivateProxyClsid + L"\\InProcServer32",
                         L"E:\\Other\\KolvProxyStub.dll");
  std::vector<std::wstring> interfaces;
  EXPECT_FALSE(RemovePrivateComRegistration(engine_, &interfaces));
  std::vector<std::wstring> left;
  ASSERT_TRUE(ListInterfacesWithPrivateProxy(RegistryRoot::kLocalMachine, platform::kKeyWow64_64Key, &left));
  EXPECT_EQ(left.size(), 224u);
}

}  // namespace
}  // namespace vellmora::testing
