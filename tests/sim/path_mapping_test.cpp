#include "platform/sim/path_mapping.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/sim/sim_control.h"
#include "support/test_machine.h"

namespace {

using namespace platform;
using sim::internal::FullPathName;
using vellmora::testing::TestMachine;
using vellmora::testing::WriteTestFile;
namespace fs = std::filesystem;

TEST(SimFullPathName, FollowsTheLexicalRulesOfWindows) {
  struct Case {
    const wchar_t* path;
    const wchar_t* full;
  } cases[] = {
      {L"C:\\a\\b", L"C:\\a\\b"},
      {L"c:/a//b/", L"C:\\a\\b\\"},
      {L"C:\\a\\..\\..\\b", L"C:\\b"},
      {L"C:\\a\\.\\b\\.", L"C:\\a\\b"},
      {L"rel\\x", L"C:\\Windows\\System32\\rel\\x"},
      {L"..\\x", L"C:\\Windows\\x"},
      {L"\\top", L"C:\\top"},
      {L"C:", L"C:\\Windows\\System32"},
      {L"C:sub", L"C:\\Windows\\System32\\sub"},
      {L"D:rel", L"D:\\rel"},
      {L"C:\\name.", L"C:\\name"},
      {L"C:\\name. . ", L"C:\\name"},
      {L"C:\\name...\\x", L"C:\\name...\\x"},
      {L"C:\\dir.\\file", L"C:\\dir\\file"},
      {L"\\\\?\\C:\\a\\..\\b", L"\\\\?\\C:\\b"},
      {L"\\\\?\\C:\\name.", L"\\\\?\\C:\\name."},
      {L"\\\\server\\share\\a\\..\\b", L"\\\\server\\share\\b"},
      {L"C:\\", L"C:\\"},
  };
  for (const Case& c : cases) {
    std::wstring full;
    ASSERT_EQ(FullPathName(c.path, L"C:\\Windows\\System32", &full), kErrorSuccess) << c.path;
    EXPECT_EQ(full, c.full) << c.path;
  }
  std::wstring full;
  EXPECT_EQ(FullPathName(L"", L"C:\\Windows", &full), kErrorInvalidName);
}

TEST(SimPathMapping, ExistingComponentsAreFoundInAnyCaseAndNewOnesKeepTheirs) {
  TestMachine machine;
  ASSERT_EQ(CreateDirectoryW(L"C:\\Sandbox\\Stored"), kErrorSuccess);
  std::string drive = machine.SimRoot() + "/drives/C";
  EXPECT_EQ(sim::HostPathOf(L"c:\\SANDBOX\\stored\\New File.TXT"),
            drive + "/Sandbox/Stored/New File.TXT");
  EXPECT_EQ(sim::HostPathOf(L"\\\\?\\C:\\sandbox/STORED"), drive + "/Sandbox/Stored");
  EXPECT_EQ(sim::HostPathOf(L"D:\\"), machine.SimRoot() + "/drives/D");
  EXPECT_EQ(sim::HostPathOf(L"Q:\\nowhere"), "");
  EXPECT_EQ(sim::HostPathOf(L"\\\\server\\share\\x"), "");
  EXPECT_EQ(sim::WindowsPathOf(drive + "/Sandbox/Stored"), L"C:\\Sandbox\\Stored");
  EXPECT_EQ(sim::WindowsPathOf(drive), L"C:\\");
  EXPECT_EQ(sim::WindowsPathOf("/etc"), L"");
}

TEST(SimPathMapping, NamesWindowsRefusesAreInvalid) {
  TestMachine machine;
  for (const wchar_t* path : {L"C:\\Sandbox\\a*b", L"C:\\Sandbox\\a?b", L"C:\\Sandbox\\a<b",
                              L"C:\\Sandbox\\a|b", L"C:\\Sandbox\\a\"b", L"C:\\Sandbox\\a:b",
                              L"C:\\Sandbox\\a\x01"}) {
    Win32Error error = kErrorSuccess;
    EXPECT_EQ(GetFileAttributesW(path, &error), kInvalidFileAttributes);
    EXPECT_EQ(error, kErrorInvalidName);
    EXPECT_EQ(CreateDirectoryW(path), kErrorInvalidName);
  }
  EXPECT_EQ(CreateDirectoryW(L"Q:\\folder"), kErrorPathNotFound);
}

TEST(SimPathMapping, TheModulePathIsTheWindowsPathOfTheExecutableInsideADrive) {
  TestMachine machine;
  EXPECT_EQ(GetModuleFileNameW(), L"");
  // Drive D: becomes the folder of the running test executable.
  fs::path executable = fs::read_symlink("/proc/self/exe");
  std::string drive = machine.SimRoot() + "/drives/D";
  fs::remove(drive);
  fs::create_directory_symlink(executable.parent_path(), drive);
  EXPECT_EQ(GetModuleFileNameW(), L"D:\\" + executable.filename().wstring());
}

}  // namespace
