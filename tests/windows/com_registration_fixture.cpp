#include "windows/com_registration_fixture.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "app/path_helpers.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "windows/com_class_paths.h"
#include "windows/com_interface_iids.h"
#include "windows/engine_com_isolation.h"

namespace vellmora::testing {
namespace {

constexpr std::uint8_t kMask[16] = {0x64, 0x9A, 0xF1, 0x23, 0x2B, 0xA5, 0x47, 0x08,
                                    0x01, 0x41, 0xC2, 0xE9, 0x11, 0xD4, 0x6B, 0x53};

// Below SOFTWARE\Classes: every key a test of this file may leave behind.
const wchar_t* const kTestClassKeys[] = {
    L"CLSID\\{8DC0F64F-6C11-4311-92B8-AB864871824C}", L"CLSID\\{D23370EB-3AE6-4B86-A99A-561C6BEFC5C9}",
    L"CLSID\\{D12AA60A-B777-4944-96B8-2655537022A7}", L"CLSID\\{D0D7C6D8-8DA0-4E37-9459-D8E25B8C727C}",
    L"TypeLib\\{2673AC5A-DF3A-4EF6-9B7D-1D8E4F762EDA}", L"AppID\\{5BFE032C-2A3C-49FA-BA49-FF5BE5A2EFEB}",
    L"AppID\\VLMServ.exe", L"VellmoraVM.VellmoraVM", L"VellmoraVM.VellmoraVM.1",
    L"VellmoraVM.VellmoraVMClient", L"VellmoraVM.VellmoraVMClient.1", L"VellmoraVM.Session",
    L"VellmoraVM.Session.1",
    // The shared identities of the side-by-side edition.
    L"CLSID\\{AE316C2B-C93A-4B56-93F9-696F59A5E91F}", L"CLSID\\{F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A}",
    L"CLSID\\{F2DB3C6E-125C-4103-97F9-E4BC42A449F4}", L"CLSID\\{F3265CBC-288B-4670-9518-1A0B4A58192F}",
    L"TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}", L"AppID\\{780F9948-8F17-41BD-BB08-3DB2F47684B8}",
    L"AppID\\KolvSVC.exe", L"VirtualBox.VirtualBox", L"VirtualBox.VirtualBox.1",
    L"VirtualBox.VirtualBoxClient", L"VirtualBox.VirtualBoxClient.1", L"VirtualBox.Session",
    L"VirtualBox.Session.1"};

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

void RemoveTestKeys() {
  for (std::uint32_t view : {platform::kKeyWow64_64Key, platform::kKeyWow64_32Key}) {
    for (RegistryRoot root : {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser}) {
      for (const wchar_t* key : kTestClassKeys) {
        DeleteRegistryTreeInView(root, std::wstring(kClassesKeyPrefix) + key, view);
      }
      const std::wstring interfaces = std::wstring(kClassesKeyPrefix) + L"Interface\\";
      for (std::string_view iid : kComInterfaceIids) {
        std::wstring original(1, L'{');
        original.append(FromUtf8(std::string(iid)));
        original.push_back(L'}');
        DeleteRegistryTreeInView(root, interfaces + PrivateIid(iid), view);
        DeleteRegistryTreeInView(root, interfaces + original, view);
      }
    }
  }
}

void DumpTree(RegistryRoot root, const std::wstring& key, std::uint32_t view, std::string* out) {
  platform::RegistryKey opened;
  if (platform::RegOpenKeyExW(root, key,
                              platform::kKeyQueryValue | platform::kKeyEnumerateSubKeys | view,
                              &opened) != platform::kErrorSuccess) {
    return;
  }
  out->push_back('[');
  out->append(ToUtf8(key));
  out->append("]\n");
  std::wstring name;
  std::uint32_t type = 0;
  for (std::uint32_t index = 0;
       platform::RegEnumValueW(opened, index, &name, &type) == platform::kErrorSuccess; ++index) {
    std::uint8_t data[4096] = {};
    std::uint32_t size = sizeof data;
    platform::RegQueryValueExW(opened, name.c_str(), &type, data, &size);
    *out += ToUtf8(name) + "=" + std::to_string(type) + ":";
    for (std::uint32_t i = 0; i < size; ++i) {
      char byte[4];
      std::snprintf(byte, sizeof byte, "%02x", data[i]);
      *out += byte;
    }
    *out += "\n";
  }
  std::uint32_t count = 0;
  std::uint32_t longest = 0;
  platform::RegQueryInfoKeyW(opened, &count, &longest);
  std::vector<std::wstring> children;
  for (std::uint32_t index = 0;
       platform::RegEnumKeyExW(opened, index, longest + 1, &name) == platform::kErrorSuccess;
       ++index) {
    children.push_back(name);
  }
  opened.Close();
  for (const std::wstring& child : children) DumpTree(root, key + L"\\" + child, view, out);
}

}  // namespace

std::wstring PrivateIid(std::string_view original) {
  std::uint8_t text_bytes[16];
  std::size_t count = 0;
  for (std::size_t i = 0; i + 1 < original.size() && count < 16; ++i) {
    if (original[i] == '-') continue;
    text_bytes[count++] = static_cast<std::uint8_t>(Hex(original[i]) * 16 + Hex(original[i + 1]));
    ++i;
  }
  // Text order to the binary layout (Data1, Data2, Data3 little-endian), masked, and back.
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::uint8_t binary[16];
  for (int i = 0; i < 16; ++i) binary[i] = static_cast<std::uint8_t>(text_bytes[order[i]] ^ kMask[i]);
  std::uint8_t masked[16];
  for (int i = 0; i < 16; ++i) masked[order[i]] = binary[i];
  wchar_t text[40];
  std::swprintf(text, 40, L"{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                masked[0], masked[1], masked[2], masked[3], masked[4], masked[5], masked[6],
                masked[7], masked[8], masked[9], masked[10], masked[11], masked[12], masked[13],
                masked[14], masked[15]);
  return text;
}

// A simulated machine is new for every test; a Wine prefix keeps its registry between them.
ComRegistrationTest::ComRegistrationTest() : install_dir_(engine_.paths.InstallDir()) {
  if (!TestMachine::IsSimulated()) RemoveTestKeys();
}

ComRegistrationTest::~ComRegistrationTest() {
  if (!TestMachine::IsSimulated()) RemoveTestKeys();
}

void ComRegistrationTest::InstallBinaries() {
  for (const wchar_t* file : {kPrivateServerFile, kClientLibraryFile, kProxyLibraryFile}) {
    ASSERT_TRUE(WriteTestFile(JoinPath(install_dir_, file), "MZ binary"));
  }
}

void ComRegistrationTest::WriteMachineClassValue(const std::wstring& key, const std::wstring& data,
                                                 const wchar_t* value) {
  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine,
                                  (std::wstring(kClassesKeyPrefix) + key).c_str(), value, data));
}

void ComRegistrationTest::WriteUserClassValue(const std::wstring& key, const std::wstring& data) {
  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kCurrentUser,
                                  (std::wstring(kClassesKeyPrefix) + key).c_str(), nullptr, data));
}

void ComRegistrationTest::WriteSelfRegistration(std::size_t interface_count) {
  for (std::size_t i = 0; i < interface_count; ++i) {
    const std::wstring key = L"Interface\\" + PrivateIid(kComInterfaceIids[i]);
    WriteMachineClassValue(key, L"IVellmoraInterface");
    WriteMachineClassValue(key + L"\\ProxyStubClsid32", kPrivateProxyClsid);
  }
  const std::pair<const wchar_t*, const wchar_t*> prog_ids[] = {
      {L"VellmoraVM.VellmoraVM", kPrivateServerClsid},
      {L"VellmoraVM.VellmoraVM.1", kPrivateServerClsid},
      {L"VellmoraVM.VellmoraVMClient", kPrivateClientClsid},
      {L"VellmoraVM.VellmoraVMClient.1", kPrivateClientClsid},
      {L"VellmoraVM.Session", kPrivateSessionClsid},
      {L"VellmoraVM.Session.1", kPrivateSessionClsid}};
  for (const auto& [prog_id, clsid] : prog_ids) {
    WriteMachineClassValue(std::wstring(prog_id) + L"\\CLSID", clsid);
  }
  WriteMachineClassValue(std::wstring(L"AppID\\") + kPrivateAppId, L"VellmoraVM");
  WriteMachineClassValue(L"AppID\\VLMServ.exe", kPrivateAppId, L"AppID");
  WriteMachineClassValue(std::wstring(L"CLSID\\") + kPrivateServerClsid, L"VellmoraVM");
  WriteMachineClassValue(std::wstring(L"CLSID\\") + kPrivateServerClsid, kPrivateAppId, L"AppID");
}

void ComRegistrationTest::WriteCompleteRegistration() {
  InstallBinaries();
  WriteSelfRegistration();
  ASSERT_TRUE(WriteComClassPaths(RegistryRoot::kLocalMachine, install_dir_));
}

std::string StandInBytes(const std::string& name) {
  std::ifstream file(std::string(VELLMORA_STANDINS_DIR) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void ComRegistrationTest::InstallIsolatedEngine(const std::string& server) {
  ASSERT_TRUE(IsolateEngineInto(install_dir_, server)) << TakeLog();
  TakeLog();
}

bool ComRegistrationTest::IsolateEngineInto(const Path& directory, const std::string& server) {
  RemoveTestTree(directory);
  EXPECT_TRUE(MakeTestDirectories(directory));
  const std::pair<const char*, const wchar_t*> files[] = {
      {"Vellmora.exe", L"Vellmora.exe"},
      {server.c_str(), L"KolvSVC.exe"},
      {"KolvC.dll", L"KolvC.dll"},
      {"KolvProxyStub.dll", L"KolvProxyStub.dll"},
      {"RV-MultiInstanceManager.exe", L"RV-MultiInstanceManager.exe"},
      {"KolvVMMgr.exe", L"KolvVMMgr.exe"},
      {"VBoxCAPI.dll", L"VBoxCAPI.dll"},
      {"KolvTypeLib.dll", L"KolvTypeLib.dll"},
      // The path normalisation gives the runtime library its private name before isolation.
      {"KolvRT.dll", L"VLCore.dll"},
      {"RV-Common.dll", L"RV-Common.dll"},
  };
  for (const auto& [from, as] : files) {
    const std::string bytes = StandInBytes(from);
    EXPECT_FALSE(bytes.empty()) << from;
    EXPECT_TRUE(WriteTestFile(JoinPath(directory, as), bytes));
  }
  return IsolateEngineComIdentity(engine_, directory, 0.0f, 1.0f);
}

std::string ComRegistrationTest::TakeLog() {
  std::string text = LogText();
  std::lock_guard<std::mutex> guard(engine_.lock);
  engine_.view.log_lines.clear();
  engine_.view.log_times.clear();
  return text;
}

std::string ComRegistrationTest::Dump(RegistryRoot root, const std::wstring& key) {
  std::string out;
  DumpTree(root, key, ViewMaskOf(root), &out);
  if (root == RegistryRoot::kLocalMachine) {
    out += "-- 32-bit view --\n";
    DumpTree(root, key, platform::kKeyWow64_32Key, &out);
  }
  return out;
}

}  // namespace vellmora::testing
