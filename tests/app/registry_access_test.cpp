#include "app/registry_access.h"

#include "app/text.h"
#include "app_test.h"
#include "platform/registry.h"

namespace vellmora::testing {
namespace {

class RegistryAccessTest : public AppTest {
 protected:
  const wchar_t* Key() const { return machine_.ScratchKey().c_str(); }

  void SetRaw(const wchar_t* name, std::uint32_t type, const std::vector<std::uint8_t>& data) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::RegCreateKeyExW(RegistryRoot::kCurrentUser, machine_.ScratchKey(),
                                        platform::kKeySetValue, &key),
              0u);
    ASSERT_EQ(platform::RegSetValueExW(key, name, type, data.data(),
                                       static_cast<std::uint32_t>(data.size())),
              0u);
  }
};

TEST_F(RegistryAccessTest, StringsAndDwordsRoundTrip) {
  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kCurrentUser, Key(), L"InstallDir",
                                  L"D:\\Vellmora"));
  ASSERT_TRUE(WriteRegistryDword(RegistryRoot::kCurrentUser, Key(), L"AdbPort", 5566));
  std::wstring text;
  std::uint32_t number = 0;
  EXPECT_TRUE(ReadRegistryString(RegistryRoot::kCurrentUser, Key(), L"InstallDir", &text));
  EXPECT_EQ(text, L"D:\\Vellmora");
  EXPECT_TRUE(ReadRegistryDword(RegistryRoot::kCurrentUser, Key(), L"AdbPort", &number));
  EXPECT_EQ(number, 5566u);
  EXPECT_FALSE(ReadRegistryDword(RegistryRoot::kCurrentUser, Key(), L"InstallDir", &number));
}

TEST_F(RegistryAccessTest, ReadsRejectWhatIsNotAUsableValue) {
  SetRaw(L"OnlyTerminator", platform::kRegSz, {0, 0});
  SetRaw(L"Expandable", platform::kRegExpandSz, ToUtf16LeBytes(L"%SystemRoot%\\x", true));
  SetRaw(L"BinaryNumber", platform::kRegBinary, {1, 0, 0, 0});
  SetRaw(L"WideNumber", platform::kRegDword, {1, 0, 0, 0, 0, 0, 0, 0});
  std::wstring text = L"untouched";
  EXPECT_FALSE(ReadRegistryString(RegistryRoot::kCurrentUser, Key(), L"OnlyTerminator", &text));
  EXPECT_EQ(text, L"untouched");
  EXPECT_FALSE(ReadRegistryString(RegistryRoot::kCurrentUser, Key(), L"Missing", &text));
  EXPECT_TRUE(ReadRegistryString(RegistryRoot::kCurrentUser, Key(), L"Expandable", &text));
  EXPECT_EQ(text, L"%SystemRoot%\\x");
  std::uint32_t number = 7;
  EXPECT_FALSE(ReadRegistryDword(RegistryRoot::kCurrentUser, Key(), L"BinaryNumber", &number));
  EXPECT_FALSE(ReadRegistryDword(RegistryRoot::kCurrentUser, Key(), L"WideNumber", &number));
  EXPECT_EQ(number, 7u);
}

TEST_F(RegistryAccessTest, DefaultValueThroughANullName) {
  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kCurrentUser, Key(), nullptr, L"server"));
  std::wstring text;
  EXPECT_TRUE(ReadRegistryString(RegistryRoot::kCurrentUser, Key(), nullptr, &text));
  EXPECT_EQ(text, L"server");
  EXPECT_TRUE(DeleteRegistryValue(RegistryRoot::kCurrentUser, Key(), nullptr));
  EXPECT_FALSE(ReadRegistryString(RegistryRoot::kCurrentUser, Key(), nullptr, &text));
}

TEST_F(RegistryAccessTest, DeletingFromAMissingKeySucceedsSilently) {
  LogCursor log;
  std::wstring missing = machine_.ScratchKey() + L"\\Nope";
  EXPECT_TRUE(DeleteRegistryValue(RegistryRoot::kCurrentUser, missing.c_str(), L"X"));
  EXPECT_TRUE(DeleteRegistryValue(RegistryRoot::kCurrentUser, Key(), L"X"));
  EXPECT_EQ(log.NewText(), "");
}

TEST_F(RegistryAccessTest, DeleteTreeRejectsUnusablePathsAndReportsMissingParents) {
  EXPECT_EQ(DeleteRegistryTree(RegistryRoot::kCurrentUser, L"Vellmora"), 87u);
  EXPECT_EQ(DeleteRegistryTree(RegistryRoot::kCurrentUser, L"SOFTWARE\\"), 87u);
  EXPECT_EQ(DeleteRegistryTree(RegistryRoot::kCurrentUser, L""), 87u);
  EXPECT_EQ(DeleteRegistryTree(RegistryRoot::kCurrentUser, machine_.ScratchKey() + L"\\No\\Key"),
            2u);

  std::wstring tree = machine_.ScratchKey() + L"\\Tree";
  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kCurrentUser, (tree + L"\\Deep\\Er").c_str(),
                                  L"V", L"x"));
  EXPECT_EQ(DeleteRegistryTree(RegistryRoot::kCurrentUser, tree), 0u);
  platform::RegistryKey gone;
  EXPECT_EQ(platform::RegOpenKeyExW(RegistryRoot::kCurrentUser, tree, platform::kKeyRead, &gone),
            platform::kErrorFileNotFound);
}

TEST_F(RegistryAccessTest, AbsentOrEqualsComparesIgnoringCase) {
  std::wstring missing = machine_.ScratchKey() + L"\\Missing";
  EXPECT_TRUE(RegistryKeyAbsentOrStringEquals(RegistryRoot::kCurrentUser, missing.c_str(),
                                              nullptr, L"x"));
  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kCurrentUser, Key(), L"Other", L"1"));
  EXPECT_FALSE(RegistryKeyAbsentOrStringEquals(RegistryRoot::kCurrentUser, Key(), nullptr,
                                               L"C:\\Vellmora\\VLMServ.exe"));
  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kCurrentUser, Key(), nullptr,
                                  L"C:\\VELLMORA\\vlmserv.exe"));
  EXPECT_TRUE(RegistryKeyAbsentOrStringEquals(RegistryRoot::kCurrentUser, Key(), nullptr,
                                              L"C:\\Vellmora\\VLMServ.exe"));
  EXPECT_FALSE(RegistryStringEquals(RegistryRoot::kCurrentUser, Key(), nullptr, L"C:\\Other"));
}

struct FailureCase {
  const char* kind;
  bool (*act)(const wchar_t* key);
  const char* line;
};

TEST_F(RegistryAccessTest, FailedWritesAndDeletesLeaveOneFailureLine) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  const FailureCase cases[] = {
      {"reg_create",
       [](const wchar_t* key) {
         return WriteRegistryString(RegistryRoot::kLocalMachine, key, L"InstallDir", L"x");
       },
       "REGISTRY FAILURE: action=create/open string, root=HKLM, key=SOFTWARE\\Ostrevin\\Vellmora, "
       "value=InstallDir, win32Error=5."},
      {"reg_set",
       [](const wchar_t* key) {
         return WriteRegistryDword(RegistryRoot::kLocalMachine, key, L"AdbPort", 1);
       },
       "REGISTRY FAILURE: action=set DWORD, root=HKLM, key=SOFTWARE\\Ostrevin\\Vellmora, "
       "value=AdbPort, win32Error=5."},
      {"reg_set",
       [](const wchar_t* key) {
         return WriteRegistryString(RegistryRoot::kLocalMachine, key, nullptr, L"x");
       },
       "REGISTRY FAILURE: action=set string, root=HKLM, key=SOFTWARE\\Ostrevin\\Vellmora, "
       "value=(Default), win32Error=5."},
      {"reg_open",
       [](const wchar_t* key) {
         return DeleteRegistryValue(RegistryRoot::kLocalMachine, key, L"AdbPort");
       },
       "REGISTRY FAILURE: action=open for delete, root=HKLM, key=SOFTWARE\\Ostrevin\\Vellmora, "
       "value=AdbPort, win32Error=5."},
      {"reg_delete_value",
       [](const wchar_t* key) {
         return DeleteRegistryValue(RegistryRoot::kLocalMachine, key, L"AdbPort");
       },
       "REGISTRY FAILURE: action=delete value, root=HKLM, key=SOFTWARE\\Ostrevin\\Vellmora, "
       "value=AdbPort, win32Error=5."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_TRUE(WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"AdbPort", 5565));
    LogCursor log;
    sim::InjectFault({c.kind, L"HKLM\\SOFTWARE\\Ostrevin\\Vellmora", 1, platform::kErrorAccessDenied});
    EXPECT_FALSE(c.act(kProductKey));
    std::vector<std::string> lines = log.NewLines();
    ASSERT_EQ(lines.size(), 1u) << log.NewText();
    EXPECT_EQ(lines[0], c.line);
    sim::ClearFaults();
  }
#endif
}

// HKLM always means the 64-bit view; only the one 32-bit reader sees SOFTWARE\WOW6432Node.
TEST_F(RegistryAccessTest, TheViewFollowsTheRootAndTheThirtyTwoBitReadIsExplicit) {
  const wchar_t* key = L"SOFTWARE\\Ostrevin\\ViewTest";
  platform::RegistryKey narrow;
  ASSERT_EQ(platform::RegCreateKeyExW(RegistryRoot::kLocalMachine, key,
                                      platform::kKeySetValue | platform::kKeyWow64_32Key, &narrow),
            0u);
  std::vector<std::uint8_t> text = ToUtf16LeBytes(L"D:\\Pellucador_kta5", true);
  ASSERT_EQ(platform::RegSetValueExW(narrow, L"InstallDir", platform::kRegSz, text.data(),
                                     static_cast<std::uint32_t>(text.size())),
            0u);
  narrow.Close();
  std::wstring read;
  EXPECT_FALSE(ReadRegistryString(RegistryRoot::kLocalMachine, key, L"InstallDir", &read));
  ASSERT_TRUE(ReadRegistryString32BitView(key, L"InstallDir", &read));
  EXPECT_EQ(read, L"D:\\Pellucador_kta5");

  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, key, L"Wide", L"64"));
  EXPECT_FALSE(ReadRegistryString32BitView(key, L"Wide", &read)) << "written to the 64-bit view";
  platform::RegistryKey wide;
  EXPECT_EQ(platform::RegOpenKeyExW(RegistryRoot::kLocalMachine, key,
                                    platform::kKeyQueryValue | platform::kKeyWow64_64Key, &wide),
            0u);
  EXPECT_EQ(ViewMaskOf(RegistryRoot::kCurrentUser), 0u);

  platform::RegistryKey parent;
  ASSERT_EQ(platform::RegOpenKeyExW(RegistryRoot::kLocalMachine, L"SOFTWARE\\Ostrevin",
                                    platform::kKeyWow64_32Key | platform::kKeyRead |
                                        platform::kKeyWrite | platform::kDelete,
                                    &parent),
            0u);
  EXPECT_EQ(platform::RegDeleteTreeW(parent, L"ViewTest"), 0u);
}

}  // namespace
}  // namespace vellmora::testing
