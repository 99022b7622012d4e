#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/shell_link.h"
#include "support/test_machine.h"

namespace {

using namespace platform;
using vellmora::testing::TestMachine;

class ShellLinkContract : public ::testing::Test {
 protected:
  ShellLinkContract() {
    target_ = machine_.In(L"Program Folder\\Vellmora.exe");
    vellmora::testing::MakeTestDirectories(machine_.In(L"Program Folder"));
    vellmora::testing::WriteTestFile(target_, "program");
  }
  TestMachine machine_;
  Path target_;
};

TEST_F(ShellLinkContract, ASavedLinkReadsBackWithItsFields) {
  ShellLink link;
  link.target = target_;
  link.arguments = L"--instance Pie64 \"two words\"";
  link.working_directory = machine_.In(L"Program Folder");
  link.description = L"Abrir Vell Mora \u00e7\u00e3o";
  const Path path = machine_.In(L"Vell Mora.lnk");
  ASSERT_EQ(SaveShellLinkW(path, link), kErrorSuccess);

  ShellLink read;
  ASSERT_EQ(LoadShellLinkW(path, &read), kErrorSuccess);
  EXPECT_EQ(read.target, link.target);
  EXPECT_EQ(read.arguments, link.arguments);
  EXPECT_EQ(read.working_directory, link.working_directory);
  EXPECT_EQ(read.description, link.description);
  EXPECT_EQ(read.icon_location, L"");

  // Saving again replaces the link.
  link.arguments = L"--instance Other";
  ASSERT_EQ(SaveShellLinkW(path, link), kErrorSuccess);
  ASSERT_EQ(LoadShellLinkW(path, &read), kErrorSuccess);
  EXPECT_EQ(read.arguments, L"--instance Other");
}

TEST_F(ShellLinkContract, ALinkIsNotSavedIntoAMissingFolder) {
  ShellLink link;
  link.target = target_;
  EXPECT_EQ(SaveShellLinkW(machine_.In(L"missing\\Vell Mora.lnk"), link), kErrorPathNotFound);
  EXPECT_EQ(GetFileAttributesW(machine_.In(L"missing")), kInvalidFileAttributes);
}

TEST_F(ShellLinkContract, OnlyALinkFileLoads) {
  ShellLink read;
  EXPECT_NE(LoadShellLinkW(machine_.In(L"absent.lnk"), &read), kErrorSuccess);
  ASSERT_TRUE(vellmora::testing::WriteTestFile(machine_.In(L"text.lnk"), "just some text\r\n"));
  EXPECT_NE(LoadShellLinkW(machine_.In(L"text.lnk"), &read), kErrorSuccess);
}

}  // namespace
