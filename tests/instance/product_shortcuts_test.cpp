#include "instance/product_shortcuts.h"

#include "app/path_helpers.h"
#include "app/system_errors.h"
#include "app/text.h"
#include "instance/instance_test.h"
#include "platform/files.h"
#include "platform/shell_link.h"

namespace vellmora::testing {
namespace {

class ProductShortcutsTest : public InstanceTest {
 protected:
  platform::Path OnDesktop(const wchar_t* name) const { return JoinPath(engine_.paths.desktop, name); }
  platform::Path InStartMenu(const wchar_t* name) const {
    return JoinPath(engine_.paths.start_menu_folder, name);
  }
};

TEST_F(ProductShortcutsTest, BothShortcutsStartThePlayerWithPie64AndReplaceTheLegacyOnes) {
  WritePlayer();
  ASSERT_TRUE(WriteTestFile(OnDesktop(kLegacyPie64ShortcutName), "old"));  // the Start menu has none

  ASSERT_TRUE(CreateProductShortcuts(engine_)) << LogText();
  const platform::Path player = InInstallDir(L"Vellmora.exe");
  for (const platform::Path& link : {OnDesktop(kProductShortcutName), InStartMenu(kProductShortcutName)}) {
    SCOPED_TRACE(ToUtf8(link));
    platform::ShellLink read;
    ASSERT_EQ(platform::LoadShellLinkW(link, &read), 0u);
    EXPECT_EQ(PathKey(read.target), PathKey(player));
    EXPECT_EQ(read.arguments, L"--instance Pie64");
    EXPECT_EQ(PathKey(read.working_directory), PathKey(engine_.paths.InstallDir()));
    EXPECT_EQ(read.description, L"Abrir Vell Mora");
    EXPECT_EQ(read.icon_location, L"");
    if (!TestMachine::IsSimulated()) {
      std::string bytes;
      ASSERT_TRUE(ReadTestFile(link, &bytes));
      EXPECT_EQ(bytes.substr(0, 4), std::string("\x4C\0\0\0", 4)) << "not a shell link file";
    }
  }
  EXPECT_FALSE(Exists(OnDesktop(kLegacyPie64ShortcutName)));
  const std::string log = LogText();
  EXPECT_NE(log.find("Vell Mora shortcuts created."), std::string::npos) << log;
  EXPECT_EQ(log.find("Warning"), std::string::npos) << log;
}

TEST_F(ProductShortcutsTest, WithoutThePlayerNothingIsCreatedAndTheLegacyShortcutStays) {
  ASSERT_TRUE(WriteTestFile(OnDesktop(kLegacyPie64ShortcutName), "old"));
  MakeTestDirectories(InInstallDir(L"Vellmora.exe"));  // a folder of that name is no player either
  EXPECT_FALSE(CreateProductShortcuts(engine_));
  EXPECT_FALSE(Exists(OnDesktop(kProductShortcutName)));
  EXPECT_FALSE(Exists(InStartMenu(kProductShortcutName)));
  EXPECT_TRUE(Exists(OnDesktop(kLegacyPie64ShortcutName)));
  EXPECT_NE(LogText().find("Warning: Vell Mora shortcuts could not be created."), std::string::npos);
}

TEST_F(ProductShortcutsTest, ALegacyShortcutThatCannotBeRemovedIsAWarningOnly) {
  WritePlayer();
  const platform::Path stuck = InStartMenu(kLegacyPie64ShortcutName);
  MakeTestDirectories(stuck);  // DeleteFileW refuses a directory
  EXPECT_TRUE(CreateProductShortcuts(engine_));
  EXPECT_NE(LogText().find("Warning: the legacy Pie64 shortcut could not be removed: " + ToUtf8(stuck)),
            std::string::npos)
      << LogText();
}

TEST_F(ProductShortcutsTest, AShortcutThatCannotBeSavedFailsTheSecondOne) {
  WritePlayer();
  // A file where the Start-menu folder belongs: its link cannot be saved.
  MakeTestDirectories(ParentPath(engine_.paths.start_menu_folder));
  ASSERT_TRUE(WriteTestFile(engine_.paths.start_menu_folder, "not a folder"));
  EXPECT_FALSE(CreateProductShortcuts(engine_));
  EXPECT_TRUE(Exists(OnDesktop(kProductShortcutName)));
  EXPECT_NE(LogText().find("Warning: Vell Mora shortcuts could not be created."), std::string::npos);
}

TEST_F(ProductShortcutsTest, AnUnreadableStatusIsRaisedNamingStatus) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  WritePlayer();
  sim::InjectFault({"get_attributes", InInstallDir(L"Vellmora.exe"), 1, platform::kErrorAccessDenied});
  EXPECT_THROW(
      {
        try {
          CreateProductShortcuts(engine_);
        } catch (const FileSystemError& error) {
          EXPECT_EQ(std::string(error.what()).rfind("status: ", 0), 0u) << error.what();
          throw;
        }
      },
      FileSystemError);
  sim::InjectFault({"get_attributes", InInstallDir(L"Vellmora-Launcher.exe"), 1,
                    platform::kErrorAccessDenied});
  EXPECT_THROW(RemoveCompatibilityLauncher(engine_), FileSystemError);
#endif
}

TEST_F(ProductShortcutsTest, TheLauncherAndTheInstanceShortcutsAreRemoved) {
  ASSERT_TRUE(WriteTestFile(InInstallDir(L"Vellmora-Launcher.exe"), "launcher"));
  ASSERT_TRUE(WriteTestFile(OnDesktop(kLegacyInstancesShortcutName), "old"));
  MakeTestDirectories(engine_.paths.start_menu_folder);
  ASSERT_TRUE(WriteTestFile(InStartMenu(kLegacyInstancesShortcutName), "old"));
  EXPECT_TRUE(RemoveCompatibilityLauncher(engine_)) << LogText();
  EXPECT_FALSE(Exists(InInstallDir(L"Vellmora-Launcher.exe")));
  EXPECT_FALSE(Exists(OnDesktop(kLegacyInstancesShortcutName)));
  EXPECT_FALSE(Exists(InStartMenu(kLegacyInstancesShortcutName)));
  EXPECT_NE(LogText().find("Engine configured for direct Vellmora startup without a compatibility "
                           "launcher."),
            std::string::npos);
  // Nothing left to remove is no failure.
  EXPECT_TRUE(RemoveCompatibilityLauncher(engine_));
}

TEST_F(ProductShortcutsTest, ALauncherFolderIsNotTouched) {
  MakeTestDirectories(InInstallDir(L"Vellmora-Launcher.exe\\keep"));
  EXPECT_TRUE(RemoveCompatibilityLauncher(engine_));
  EXPECT_TRUE(Exists(InInstallDir(L"Vellmora-Launcher.exe\\keep")));
}

TEST_F(ProductShortcutsTest, ARunningLauncherIsWaitedForAndThenLeftInPlace) {
  const std::size_t launcher = StartSleeping(InInstallDir(L"Vellmora-Launcher.exe"));
  ASSERT_TRUE(Running(launcher));
  ASSERT_TRUE(WriteTestFile(OnDesktop(kLegacyInstancesShortcutName), "old"));
  EXPECT_FALSE(RemoveCompatibilityLauncher(engine_));
  EXPECT_TRUE(Running(launcher));
  EXPECT_TRUE(Exists(InInstallDir(L"Vellmora-Launcher.exe")));
  EXPECT_FALSE(Exists(OnDesktop(kLegacyInstancesShortcutName)));
  EXPECT_NE(LogText().find("Warning: the compatibility launcher or a legacy instance shortcut could "
                           "not be removed."),
            std::string::npos);
}

}  // namespace
}  // namespace vellmora::testing
