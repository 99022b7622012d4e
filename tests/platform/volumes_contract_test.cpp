#include <gtest/gtest.h>

#include <algorithm>

#include "platform/volumes.h"
#include "support/test_machine.h"

namespace {

using namespace platform;
using vellmora::testing::TestMachine;

TEST(VolumesContract, TheDriveListHoldsAFixedCDrive) {
  TestMachine machine;
  std::vector<Path> roots;
  ASSERT_EQ(GetLogicalDriveStringsW(&roots), kErrorSuccess);
  EXPECT_NE(std::find(roots.begin(), roots.end(), L"C:\\"), roots.end());
  for (const Path& root : roots) {
    ASSERT_EQ(root.size(), 3u);
    EXPECT_EQ(root.substr(1), L":\\");
  }
  EXPECT_TRUE(std::is_sorted(roots.begin(), roots.end()));
  EXPECT_EQ(GetDriveTypeW(L"C:\\"), kDriveFixed);
}

TEST(VolumesContract, ALetterWithoutADriveHasNoRootDirectory) {
  TestMachine machine;
  std::vector<Path> roots;
  ASSERT_EQ(GetLogicalDriveStringsW(&roots), kErrorSuccess);
  for (wchar_t letter = L'Y'; letter > L'C'; --letter) {
    Path root = Path(1, letter) + L":\\";
    if (std::find(roots.begin(), roots.end(), root) != roots.end()) continue;
    EXPECT_EQ(GetDriveTypeW(root), kDriveNoRootDir);
    std::uint64_t free_bytes = 0;
    EXPECT_NE(GetDiskFreeSpaceExW(root, &free_bytes), kErrorSuccess);
    return;
  }
  GTEST_SKIP() << "every drive letter is taken";
}

TEST(VolumesContract, FreeSpaceIsReportedForTheRootAndForAnyDirectoryOnIt) {
  TestMachine machine;
  std::uint64_t root_free = 0;
  ASSERT_EQ(GetDiskFreeSpaceExW(L"C:\\", &root_free), kErrorSuccess);
  EXPECT_GT(root_free, 0u);
  std::uint64_t sandbox_free = 0;
  ASSERT_EQ(GetDiskFreeSpaceExW(machine.Sandbox() + L"\\", &sandbox_free), kErrorSuccess);
  EXPECT_GT(sandbox_free, 0u);
}

}  // namespace
