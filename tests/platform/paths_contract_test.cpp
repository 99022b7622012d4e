#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/paths.h"
#include "support/test_machine.h"

namespace {

using namespace platform;
using vellmora::testing::TestMachine;

bool IsDirectory(const Path& path) {
  std::uint32_t attributes = GetFileAttributesW(path);
  return attributes != kInvalidFileAttributes && (attributes & kAttributeDirectory);
}

TEST(PathsContract, FullPathNamesAreNormalisedLexically) {
  TestMachine machine;
  struct Case {
    const wchar_t* path;
    const wchar_t* full;
  } cases[] = {
      {L"C:\\one\\two\\..\\three", L"C:\\one\\three"},
      {L"C:/one/./two", L"C:\\one\\two"},
      {L"C:\\one\\\\two", L"C:\\one\\two"},
      {L"C:\\..\\..\\one", L"C:\\one"},
      {L"C:\\one\\two\\", L"C:\\one\\two\\"},
      {L"C:\\one\\name.", L"C:\\one\\name"},
      {L"\\\\?\\C:\\one\\two", L"\\\\?\\C:\\one\\two"},
      {L"C:\\", L"C:\\"},
  };
  for (const Case& c : cases) {
    Path full;
    ASSERT_EQ(GetFullPathNameW(c.path, &full), kErrorSuccess) << c.path;
    EXPECT_EQ(full, c.full) << c.path;
  }
}

TEST(PathsContract, RelativePathsResolveAgainstTheCurrentDirectory) {
  TestMachine machine;
  Path here;
  ASSERT_EQ(GetFullPathNameW(L".", &here), kErrorSuccess);
  ASSERT_GE(here.size(), 3u);
  EXPECT_EQ(here.substr(1, 2), L":\\");
  Path child;
  ASSERT_EQ(GetFullPathNameW(L"child\\.\\file.txt", &child), kErrorSuccess);
  std::wstring base = here.back() == L'\\' ? here : here + L"\\";
  EXPECT_EQ(child, base + L"child\\file.txt");
  Path rooted;
  ASSERT_EQ(GetFullPathNameW(L"\\top", &rooted), kErrorSuccess);
  EXPECT_EQ(rooted, here.substr(0, 3) + L"top");
}

TEST(PathsContract, TheTemporaryDirectoryExistsAndEndsInABackslash) {
  TestMachine machine;
  Path temp = GetTempPathW();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), L'\\');
  EXPECT_TRUE(IsDirectory(temp)) << std::string(temp.begin(), temp.end());
}

TEST(PathsContract, TheTemporaryDirectoryFillsACallersBufferOrSaysHowMuchItNeeds) {
  TestMachine machine;
  Path temp = GetTempPathW();
  ASSERT_FALSE(temp.empty());
  static wchar_t buffer[32768];
  std::uint32_t length = GetTempPathW(32768, buffer);
  ASSERT_EQ(length, temp.size());
  EXPECT_EQ(Path(buffer), temp);
  wchar_t small[3] = {};
  EXPECT_EQ(GetTempPathW(3, small), temp.size() + 1) << "the size with the terminator";
}

TEST(PathsContract, KnownFoldersExistAndAgreeWithTheEnvironment) {
  TestMachine machine;
  for (KnownFolder folder : {KnownFolder::kProgramData, KnownFolder::kLocalAppData,
                             KnownFolder::kProfile, KnownFolder::kDesktop,
                             KnownFolder::kPrograms}) {
    Path path;
    ASSERT_EQ(SHGetKnownFolderPath(folder, false, &path), kErrorSuccess)
        << static_cast<int>(folder);
    EXPECT_TRUE(IsDirectory(path)) << std::string(path.begin(), path.end());
  }
  Path profile, local;
  ASSERT_EQ(SHGetKnownFolderPath(KnownFolder::kProfile, false, &profile), kErrorSuccess);
  ASSERT_EQ(SHGetKnownFolderPath(KnownFolder::kLocalAppData, false, &local), kErrorSuccess);
  std::wstring user_profile, local_app_data;
  ASSERT_EQ(GetEnvironmentVariableW(L"USERPROFILE", &user_profile), kErrorSuccess);
  ASSERT_EQ(GetEnvironmentVariableW(L"LOCALAPPDATA", &local_app_data), kErrorSuccess);
  EXPECT_EQ(profile, user_profile);
  EXPECT_EQ(local, local_app_data);
  Path programs;
  ASSERT_EQ(SHGetKnownFolderPath(KnownFolder::kPrograms, false, &programs), kErrorSuccess);
  const std::wstring start_menu = L"\\Microsoft\\Windows\\Start Menu\\Programs";
  ASSERT_GT(programs.size(), start_menu.size());
  EXPECT_EQ(programs.substr(programs.size() - start_menu.size()), start_menu);
}

TEST(PathsContract, EnvironmentVariablesAreSetReadAndRemovedCaseInsensitively) {
  TestMachine machine;
  std::wstring name = L"VellmoraContract_" + machine.ScratchKey().substr(
                                                  machine.ScratchKey().rfind(L'\\') + 1);
  std::wstring upper;
  for (wchar_t c : name) upper += static_cast<wchar_t>(c >= L'a' && c <= L'z' ? c - 32 : c);
  std::wstring value;
  EXPECT_EQ(GetEnvironmentVariableW(name, &value), kErrorEnvvarNotFound);

  // Longer than any fixed buffer a caller might start with.
  std::wstring long_value(20000, L'v');
  ASSERT_EQ(SetEnvironmentVariableW(name, &long_value), kErrorSuccess);
  ASSERT_EQ(GetEnvironmentVariableW(upper, &value), kErrorSuccess);
  EXPECT_EQ(value, long_value);

  std::wstring short_value = L"short";
  ASSERT_EQ(SetEnvironmentVariableW(upper, &short_value), kErrorSuccess);
  ASSERT_EQ(GetEnvironmentVariableW(name, &value), kErrorSuccess);
  EXPECT_EQ(value, L"short");

  ASSERT_EQ(SetEnvironmentVariableW(name, nullptr), kErrorSuccess);
  EXPECT_EQ(GetEnvironmentVariableW(upper, &value), kErrorEnvvarNotFound);
}

TEST(PathsContract, TheModuleFileNameIsEmptyOrAnExistingFile) {
  TestMachine machine;
  Path module = GetModuleFileNameW();
  if (module.empty()) return;  // the running program lies outside the machine's drives
  std::uint32_t attributes = GetFileAttributesW(module);
  ASSERT_NE(attributes, kInvalidFileAttributes);
  EXPECT_EQ(attributes & kAttributeDirectory, 0u);
}

TEST(PathsContract, TheWindowsFolderIsAnExistingAbsoluteFolder) {
  TestMachine machine;
  Path windows = GetWindowsDirectoryA();
  ASSERT_GE(windows.size(), 3u);
  EXPECT_EQ(windows.substr(1, 2), L":\\");
  std::uint32_t attributes = GetFileAttributesW(windows);
  ASSERT_NE(attributes, kInvalidFileAttributes);
  EXPECT_NE(attributes & kAttributeDirectory, 0u);
}

}  // namespace
