// How the sim keeps what a Linux folder cannot: link kinds, attributes, volumes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "platform/sim/sim_control.h"
#include "support/test_machine.h"

namespace {

using namespace platform;
using vellmora::testing::ReadTestFile;
using vellmora::testing::TestMachine;
using vellmora::testing::WriteTestFile;
namespace fs = std::filesystem;

class SimFiles : public ::testing::Test {
 protected:
  static std::string Host(const std::wstring& path) { return sim::HostPathOf(path); }
  static FileStatus Status(const std::wstring& path) {
    FileStatus status;
    EXPECT_EQ(GetFileStatus(path, &status), kErrorSuccess);
    return status;
  }

  TestMachine machine_;
};

TEST_F(SimFiles, LinkKindsSurviveHostRenamesAndMissingTargets) {
  ASSERT_EQ(CreateDirectoryW(L"C:\\Sandbox\\target"), kErrorSuccess);
  ASSERT_EQ(CreateJunction(L"C:\\Sandbox\\junction", L"C:\\Sandbox\\target"), kErrorSuccess);
  ASSERT_EQ(CreateSymbolicLinkW(L"C:\\Sandbox\\dirlink", L"C:\\Sandbox\\target", true),
            kErrorSuccess);
  ASSERT_EQ(CreateSymbolicLinkW(L"C:\\Sandbox\\relative", L"target", true), kErrorSuccess);
  fs::rename(Host(L"C:\\Sandbox\\junction"), Host(L"C:\\Sandbox\\") + "/moved-junction");
  fs::remove(Host(L"C:\\Sandbox\\target"));

  struct Case {
    const wchar_t* path;
    std::uint32_t tag;
  } cases[] = {
      {L"C:\\Sandbox\\moved-junction", kReparseTagMountPoint},
      {L"C:\\Sandbox\\dirlink", kReparseTagSymlink},
      {L"C:\\Sandbox\\relative", kReparseTagSymlink},
  };
  for (const Case& c : cases) {
    FileStatus status = Status(c.path);
    EXPECT_EQ(status.attributes, kAttributeDirectory | kAttributeReparsePoint) << c.path;
    EXPECT_EQ(status.reparse_tag, c.tag) << c.path;
    EXPECT_EQ(RemoveDirectoryW(c.path), kErrorSuccess) << c.path;
  }
}

TEST_F(SimFiles, HostLinksAreReportedAsSymbolicLinksOfTheirTargetsKind) {
  ASSERT_EQ(CreateDirectoryW(L"C:\\Sandbox\\dir"), kErrorSuccess);
  ASSERT_TRUE(WriteTestFile(L"C:\\Sandbox\\file.txt", "x"));
  fs::create_symlink(Host(L"C:\\Sandbox\\dir"), Host(L"C:\\Sandbox") + "/to-dir");
  fs::create_symlink("file.txt", Host(L"C:\\Sandbox") + "/to-file");
  EXPECT_EQ(Status(L"C:\\Sandbox\\to-dir").attributes,
            kAttributeDirectory | kAttributeReparsePoint);
  FileStatus file_link = Status(L"C:\\Sandbox\\to-file");
  EXPECT_EQ(file_link.attributes & (kAttributeDirectory | kAttributeReparsePoint),
            kAttributeReparsePoint);
  EXPECT_EQ(file_link.reparse_tag, kReparseTagSymlink);
  EXPECT_EQ(file_link.size, 0u);
}

TEST_F(SimFiles, JunctionsLeadAcrossDrivesAndMovesThroughThemChangeVolume) {
  ASSERT_EQ(CreateDirectoryW(L"D:\\Data"), kErrorSuccess);
  ASSERT_EQ(CreateJunction(L"C:\\Sandbox\\data", L"D:\\Data"), kErrorSuccess);
  ASSERT_TRUE(WriteTestFile(L"C:\\Sandbox\\file.txt", "x"));
  EXPECT_EQ(MoveFileExW(L"C:\\Sandbox\\file.txt", L"C:\\Sandbox\\data\\file.txt", 0),
            kErrorNotSameDevice);
  EXPECT_EQ(MoveFileExW(L"C:\\Sandbox\\file.txt", L"C:\\Sandbox\\data\\file.txt",
                        kMoveCopyAllowed),
            kErrorSuccess);
  std::string content;
  EXPECT_TRUE(ReadTestFile(L"D:\\Data\\file.txt", &content));
  EXPECT_EQ(content, "x");
}

TEST_F(SimFiles, MovesBetweenDrivesCopyFilesWhenAllowedAndNeverMoveDirectories) {
  ASSERT_TRUE(WriteTestFile(L"C:\\Sandbox\\file.txt", "payload"));
  ASSERT_EQ(SetFileAttributesW(L"C:\\Sandbox\\file.txt", kAttributeHidden), kErrorSuccess);
  ASSERT_EQ(CreateDirectoryW(L"C:\\Sandbox\\dir"), kErrorSuccess);
  EXPECT_EQ(MoveFileExW(L"C:\\Sandbox\\file.txt", L"D:\\file.txt", kMoveReplaceExisting),
            kErrorNotSameDevice);
  EXPECT_EQ(MoveFileExW(L"C:\\Sandbox\\dir", L"D:\\dir", kMoveCopyAllowed), kErrorNotSameDevice);
  ASSERT_EQ(MoveFileExW(L"C:\\Sandbox\\file.txt", L"D:\\file.txt", kMoveCopyAllowed),
            kErrorSuccess);
  EXPECT_EQ(GetFileAttributesW(L"C:\\Sandbox\\file.txt"), kInvalidFileAttributes);
  std::string content;
  ASSERT_TRUE(ReadTestFile(L"D:\\file.txt", &content));
  EXPECT_EQ(content, "payload");
  EXPECT_NE(GetFileAttributesW(L"D:\\file.txt") & kAttributeHidden, 0u);
  ASSERT_TRUE(WriteTestFile(L"C:\\Sandbox\\replacement", "new"));
  EXPECT_EQ(ReplaceFileW(L"D:\\file.txt", L"C:\\Sandbox\\replacement", 0), kErrorNotSameDevice);
}

TEST_F(SimFiles, ReadOnlyFilesAreReadOnlyOnTheHostToo) {
  ASSERT_TRUE(WriteTestFile(L"C:\\Sandbox\\file.txt", "x"));
  std::string host = Host(L"C:\\Sandbox\\file.txt");
  ASSERT_EQ(SetFileAttributesW(L"C:\\Sandbox\\file.txt", kAttributeReadOnly), kErrorSuccess);
  EXPECT_EQ(fs::status(host).permissions() & fs::perms::owner_write, fs::perms::none);
  ASSERT_EQ(SetFileAttributesW(L"C:\\Sandbox\\file.txt", kAttributeNormal), kErrorSuccess);
  EXPECT_NE(fs::status(host).permissions() & fs::perms::owner_write, fs::perms::none);
  // A fixture may make a file read-only with the host's tools.
  fs::permissions(host, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_NE(GetFileAttributesW(L"C:\\Sandbox\\file.txt") & kAttributeReadOnly, 0u);
}

TEST_F(SimFiles, AttributesFollowTheEntryAndNotItsName) {
  ASSERT_TRUE(WriteTestFile(L"C:\\Sandbox\\a.txt", "x"));
  ASSERT_EQ(SetFileAttributesW(L"C:\\Sandbox\\a.txt", kAttributeHidden | kAttributeSystem),
            kErrorSuccess);
  ASSERT_EQ(MoveFileExW(L"C:\\Sandbox\\a.txt", L"C:\\Sandbox\\b.txt", 0), kErrorSuccess);
  fs::rename(Host(L"C:\\Sandbox\\b.txt"), Host(L"C:\\Sandbox") + "/c.txt");
  EXPECT_EQ(GetFileAttributesW(L"C:\\Sandbox\\c.txt"), kAttributeHidden | kAttributeSystem);

  // A new file where a hidden one was is a file of its own.
  fs::remove(Host(L"C:\\Sandbox\\c.txt"));
  std::ofstream(Host(L"C:\\Sandbox") + "/c.txt") << "new";
  EXPECT_EQ(GetFileAttributesW(L"C:\\Sandbox\\c.txt"), kAttributeArchive);
  ASSERT_EQ(SetFileAttributesW(L"C:\\Sandbox\\c.txt", kAttributeNormal), kErrorSuccess);
  EXPECT_EQ(GetFileAttributesW(L"C:\\Sandbox\\c.txt"), kAttributeNormal);
}

TEST_F(SimFiles, HiddenFilesAreOverwrittenOnlyByCallersThatSaySo) {
  ASSERT_TRUE(WriteTestFile(L"C:\\Sandbox\\hidden.txt", "x"));
  ASSERT_EQ(SetFileAttributesW(L"C:\\Sandbox\\hidden.txt", kAttributeHidden), kErrorSuccess);
  UniqueHandle file;
  EXPECT_EQ(CreateFileW(L"C:\\Sandbox\\hidden.txt", kGenericWrite, kShareAll, kCreateAlways,
                        kAttributeNormal, &file),
            kErrorAccessDenied);
  EXPECT_EQ(CreateFileW(L"C:\\Sandbox\\hidden.txt", kGenericWrite, kShareAll, kCreateAlways,
                        kAttributeHidden, &file),
            kErrorSuccess);
}

TEST_F(SimFiles, AReadOnlyDirectoryIsKeptButItsContentsMayChange) {
  ASSERT_EQ(CreateDirectoryW(L"C:\\Sandbox\\dir"), kErrorSuccess);
  ASSERT_EQ(SetFileAttributesW(L"C:\\Sandbox\\dir", kAttributeReadOnly), kErrorSuccess);
  EXPECT_EQ(GetFileAttributesW(L"C:\\Sandbox\\dir"), kAttributeDirectory | kAttributeReadOnly);
  EXPECT_TRUE(WriteTestFile(L"C:\\Sandbox\\dir\\inside.txt", "x"));
  EXPECT_EQ(DeleteFileW(L"C:\\Sandbox\\dir\\inside.txt"), kErrorSuccess);
  EXPECT_EQ(RemoveDirectoryW(L"C:\\Sandbox\\dir"), kErrorAccessDenied);
}

TEST_F(SimFiles, DriveRootsAreHiddenSystemDirectoriesThatCannotBeRemoved) {
  EXPECT_EQ(GetFileAttributesW(L"D:\\"), kAttributeDirectory | kAttributeHidden | kAttributeSystem);
  EXPECT_EQ(RemoveDirectoryW(L"D:\\"), kErrorAccessDenied);
  EXPECT_EQ(MoveFileExW(L"D:\\", L"D:\\x", 0), kErrorAccessDenied);
}

TEST_F(SimFiles, OnlyAdministratorsCreateSymbolicLinks) {
  ASSERT_EQ(CreateDirectoryW(L"C:\\Sandbox\\dir"), kErrorSuccess);
  sim::SetElevated(false);
  EXPECT_EQ(CreateSymbolicLinkW(L"C:\\Sandbox\\link", L"C:\\Sandbox\\dir", true),
            kErrorPrivilegeNotHeld);
  EXPECT_EQ(CreateJunction(L"C:\\Sandbox\\junction", L"C:\\Sandbox\\dir"), kErrorSuccess);
}

}  // namespace
