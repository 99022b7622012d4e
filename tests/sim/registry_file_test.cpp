// registry.txt: the registry every process of a machine shares, in a readable .reg-like form.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fork_child.h"
#include "platform/registry.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/sim_control.h"
#include "support/test_machine.h"

namespace {

using namespace platform;
using sim::internal::FormatRegistry;
using sim::internal::ParseRegistry;
using sim::internal::RegistryTree;
using sim_tests::RunInChild;
using vellmora::testing::TestMachine;

constexpr std::uint32_t kAll = kKeyRead | kKeyWrite | kDelete;

std::string RegistryText(const TestMachine& machine) {
  std::ifstream in(machine.SimRoot() + "/registry.txt", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::uint8_t> Utf16(const std::u16string& text) {
  std::vector<std::uint8_t> data;
  for (char16_t unit : text) {
    data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  data.insert(data.end(), {0, 0});
  return data;
}

bool ReadDword(RegistryRoot root, const std::wstring& key_path, const wchar_t* name,
               std::uint32_t* value) {
  RegistryKey key;
  if (RegOpenKeyExW(root, key_path, kKeyRead, &key) != kErrorSuccess) return false;
  std::uint8_t data[4];
  std::uint32_t type = 0, size = sizeof data;
  if (RegQueryValueExW(key, name, &type, data, &size) != kErrorSuccess || size != 4) return false;
  *value = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
  return true;
}

TEST(SimRegistryFile, ValuesAreWrittenAsReadableText) {
  TestMachine machine;
  RegistryKey key;
  ASSERT_EQ(RegCreateKeyExW(RegistryRoot::kCurrentUser, L"Software\\Vellmora\\Tag \"x\"", kAll, &key),
            kErrorSuccess);
  std::vector<std::uint8_t> text = Utf16(u"C:\\Program Files\\\"Vellmora\"");
  std::uint8_t dword[4] = {0x2A, 0x01, 0, 0};
  std::uint8_t qword[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<std::uint8_t> expand = Utf16(u"%TEMP%");
  ASSERT_EQ(RegSetValueExW(key, L"InstallDir", kRegSz, text.data(),
                           static_cast<std::uint32_t>(text.size())),
            kErrorSuccess);
  ASSERT_EQ(RegSetValueExW(key, nullptr, kRegSz, text.data(), static_cast<std::uint32_t>(text.size())),
            kErrorSuccess);
  ASSERT_EQ(RegSetValueExW(key, L"Count", kRegDword, dword, 4), kErrorSuccess);
  ASSERT_EQ(RegSetValueExW(key, L"Big", kRegQword, qword, 8), kErrorSuccess);
  ASSERT_EQ(RegSetValueExW(key, L"Expand", kRegExpandSz, expand.data(),
                           static_cast<std::uint32_t>(expand.size())),
            kErrorSuccess);
  std::string file = RegistryText(machine);
  EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Vellmora\\Tag \"x\"]"), std::string::npos);
  EXPECT_NE(file.find("\"InstallDir\"=\"C:\\\\Program Files\\\\\\\"Vellmora\\\"\""),
            std::string::npos)
      << file;
  EXPECT_NE(file.find("@=\"C:\\\\Program Files"), std::string::npos);
  EXPECT_NE(file.find("\"Count\"=dword:0000012a"), std::string::npos);
  EXPECT_NE(file.find("\"Big\"=hex(b):01,02,03,04,05,06,07,08"), std::string::npos);
  EXPECT_NE(file.find("\"Expand\"=hex(2):25,00,54,00"), std::string::npos);
}

TEST(SimRegistryFile, TheTextFormRoundTripsEveryValue) {
  RegistryTree tree;
  auto* key = tree.Create(RegistryRoot::kLocalMachine, {L"SOFTWARE", L"Odd \"name\" ] ["});
  key->values.push_back({L"", kRegSz, Utf16(u"default")});
  key->values.push_back({L"quote\"back\\slash", kRegSz, Utf16(u"a\"b\\c")});
  key->values.push_back({L"Unicode \u00e9\u4e2d", kRegSz, Utf16(u"\u00e9\u4e2d\U0001F600")});
  key->values.push_back({L"Unterminated", kRegSz, {'a', 0, 'b', 0}});
  key->values.push_back({L"Newline", kRegSz, Utf16(u"two\nlines")});
  key->values.push_back({L"Empty", kRegBinary, {}});
  key->values.push_back({L"ShortDword", kRegDword, {1, 2}});
  key->values.push_back({L"None", kRegNone, {9}});
  tree.Create(RegistryRoot::kCurrentUser, {L"Software", L"Empty Key"});

  RegistryTree parsed;
  std::string error;
  std::string text = FormatRegistry(tree);
  ASSERT_TRUE(ParseRegistry(text, &parsed, &error)) << error;
  EXPECT_EQ(FormatRegistry(parsed), text);
  auto* back = parsed.Find(RegistryRoot::kLocalMachine, {L"software", L"ODD \"NAME\" ] ["});
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->id, key->id);
  ASSERT_EQ(back->values.size(), key->values.size());
  for (size_t i = 0; i < key->values.size(); ++i) {
    EXPECT_EQ(back->values[i].name, key->values[i].name);
    EXPECT_EQ(back->values[i].type, key->values[i].type);
    EXPECT_EQ(back->values[i].data, key->values[i].data);
  }
  EXPECT_NE(parsed.Find(RegistryRoot::kCurrentUser, {L"Software", L"Empty Key"}), nullptr);
}

TEST(SimRegistryFile, AFileWrittenByAScriptIsRead) {
  TestMachine machine;
  std::ofstream(machine.SimRoot() + "/registry.txt", std::ios::trunc)
      << "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vellmora]\n"
         "\"Port\"=dword:000013ad\n"
         "\"Blob\"=hex:01,02,\\\n  03\n";
  std::uint32_t port = 0;
  ASSERT_TRUE(ReadDword(RegistryRoot::kLocalMachine, L"SOFTWARE\\Vellmora", L"Port", &port));
  EXPECT_EQ(port, 5037u);
  RegistryKey key;
  ASSERT_EQ(RegOpenKeyExW(RegistryRoot::kLocalMachine, L"SOFTWARE\\Vellmora", kKeyRead, &key),
            kErrorSuccess);
  std::uint8_t blob[8];
  std::uint32_t type = 0, size = sizeof blob;
  ASSERT_EQ(RegQueryValueExW(key, L"Blob", &type, blob, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(size, 3u);
}

TEST(SimRegistryFile, ChangesOfAnotherProcessAreSeenAndNoneIsLost) {
  TestMachine machine;
  constexpr int kValues = 40;
  auto writer = [](const wchar_t* prefix) {
    return [prefix] {
      RegistryKey key;
      if (RegCreateKeyExW(RegistryRoot::kCurrentUser, L"Software\\Shared", kAll, &key) != 0) return 1;
      for (int i = 0; i < kValues; ++i) {
        std::uint8_t data[4] = {static_cast<std::uint8_t>(i), 0, 0, 0};
        std::wstring name = prefix + std::to_wstring(i);
        if (RegSetValueExW(key, name.c_str(), kRegDword, data, 4) != 0) return 2;
      }
      return 0;
    };
  };
  pid_t first = sim_tests::StartChild(writer(L"a"));
  pid_t second = sim_tests::StartChild(writer(L"b"));
  EXPECT_EQ(sim_tests::WaitChild(first).code, 0);
  EXPECT_EQ(sim_tests::WaitChild(second).code, 0);
  for (const wchar_t* prefix : {L"a", L"b"}) {
    for (int i = 0; i < kValues; ++i) {
      std::uint32_t value = 99;
      std::wstring name = prefix + std::to_wstring(i);
      ASSERT_TRUE(ReadDword(RegistryRoot::kCurrentUser, L"Software\\Shared", name.c_str(), &value))
          << "value " << i;
      EXPECT_EQ(value, static_cast<std::uint32_t>(i));
    }
  }
}

TEST(SimRegistryFile, AKeyDeletedByAnotherProcessIsDeletedForOpenHandles) {
  TestMachine machine;
  RegistryKey key;
  ASSERT_EQ(RegCreateKeyExW(RegistryRoot::kCurrentUser, L"Software\\Doomed", kAll, &key),
            kErrorSuccess);
  auto deleted = RunInChild([] {
    RegistryKey parent;
    if (RegOpenKeyExW(RegistryRoot::kCurrentUser, L"Software", kAll, &parent) != 0) return 1;
    return RegDeleteTreeW(parent, L"Doomed") == kErrorSuccess ? 0 : 2;
  });
  ASSERT_EQ(deleted.code, 0);
  std::uint8_t data[4] = {};
  EXPECT_EQ(RegSetValueExW(key, L"x", kRegDword, data, 4), kErrorKeyDeleted);
}

TEST(SimRegistryFile, AStandardUserReadsButCannotChangeTheLocalMachine) {
  TestMachine machine;
  RegistryKey software;
  ASSERT_EQ(RegCreateKeyExW(RegistryRoot::kLocalMachine, L"SOFTWARE\\Vellmora", kAll, &software),
            kErrorSuccess);
  sim::SetElevated(false);
  RegistryKey key;
  EXPECT_EQ(RegCreateKeyExW(RegistryRoot::kLocalMachine, L"SOFTWARE\\Other", kKeySetValue, &key),
            kErrorAccessDenied);
  EXPECT_EQ(RegOpenKeyExW(RegistryRoot::kLocalMachine, L"SOFTWARE\\Vellmora", kKeySetValue, &key),
            kErrorAccessDenied);
  EXPECT_EQ(RegOpenKeyExW(RegistryRoot::kLocalMachine, L"SOFTWARE\\Vellmora", kKeyRead, &key),
            kErrorSuccess);
  RegistryKey user;
  EXPECT_EQ(RegCreateKeyExW(RegistryRoot::kCurrentUser, L"Software\\Vellmora", kAll, &user),
            kErrorSuccess);
}

TEST(SimRegistryFile, NothingButHivesHangBelowTheLocalMachine) {
  TestMachine machine;
  RegistryKey key;
  EXPECT_EQ(RegCreateKeyExW(RegistryRoot::kLocalMachine, L"Vellmora", kAll, &key),
            kErrorAccessDenied);
  EXPECT_EQ(RegCreateKeyExW(RegistryRoot::kLocalMachine, L"Vellmora\\Sub", kAll, &key),
            kErrorAccessDenied);
  EXPECT_EQ(RegCreateKeyExW(RegistryRoot::kLocalMachine, L"SYSTEM\\Vellmora", kAll, &key),
            kErrorSuccess);
}

}  // namespace
