// "--migrate-direct-player": InstallerEngine::MigrateDirectPlayer and its exit codes.

#include <atomic>
#include <chrono>
#include <thread>

#include "app/machine_operation_lock.h"
#include "app/path_helpers.h"
#include "instance/instance_test.h"
#include "instance/product_shortcuts.h"
#include "platform/files.h"
#include "windows/process_control.h"

namespace vellmora::testing {
namespace {

class MigrateDirectPlayerTest : public InstanceTest {
 protected:
  // An older installation: the launcher, its shortcut and an obsolete runtime folder.
  void WriteLauncherInstallation() {
    WriteInstalledProduct();
    StandInForMachineSteps();
    ASSERT_TRUE(WriteTestFile(InInstallDir(L"Vellmora-Launcher.exe"), "launcher"));
    ASSERT_TRUE(WriteTestFile(JoinPath(engine_.paths.desktop, kLegacyInstancesShortcutName), "old"));
    MakeTestDirectories(JoinPath(engine_.paths.DataDir(), L"Runtime"));
    ASSERT_TRUE(WriteTestFile(JoinPath(engine_.paths.DataDir(), L"Runtime\\old.bin"), "old"));
  }
  void ExpectMigrated() {
    EXPECT_FALSE(Exists(InInstallDir(L"Vellmora-Launcher.exe")));
    EXPECT_FALSE(Exists(JoinPath(engine_.paths.desktop, kLegacyInstancesShortcutName)));
    EXPECT_FALSE(Exists(JoinPath(engine_.paths.DataDir(), L"Runtime")));
    EXPECT_TRUE(Exists(JoinPath(engine_.paths.desktop, kProductShortcutName)));
    EXPECT_TRUE(Exists(JoinPath(engine_.paths.start_menu_folder, kProductShortcutName)));
    EXPECT_NE(LogText().find("[+] Vellmora migrated to direct Vellmora.exe startup without "
                             "Vellmora-Launcher.exe."),
              std::string::npos)
        << LogText();
  }
};

TEST_F(MigrateDirectPlayerTest, AnOlderInstallationIsMigrated) {
  WriteLauncherInstallation();
  EXPECT_EQ(engine_.MigrateDirectPlayer(), 0);
  ExpectMigrated();
  // Nothing is left to migrate, and doing it again changes nothing.
  EXPECT_EQ(engine_.MigrateDirectPlayer(), 0) << LogText();
}

TEST_F(MigrateDirectPlayerTest, WithoutTheProductThereIsNothingToMigrate) {
  WriteLauncherInstallation();
  struct Case {
    bool engine_installed;
    bool pie64_registered;
    bool valid_paths;
  };
  for (const Case& c : {Case{false, true, true}, Case{true, false, true}, Case{true, true, false}}) {
    engine_installed_ = c.engine_installed;
    pie64_registered_ = c.pie64_registered;
    const Path install_base = engine_.paths.install_base;
    if (!c.valid_paths) engine_.paths.install_base.clear();
    EXPECT_EQ(engine_.MigrateDirectPlayer(), 1);
    engine_.paths.install_base = install_base;
  }
  EXPECT_TRUE(Exists(InInstallDir(L"Vellmora-Launcher.exe")));
}

TEST_F(MigrateDirectPlayerTest, AnotherOperationHoldingTheMachineLockGivesTwo) {
  WriteLauncherInstallation();
  std::atomic<bool> held{false};
  std::atomic<bool> done{false};
  std::thread holder([&] {
    MachineOperationLock lock;
    held = lock.Acquire(1000);
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  });
  while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(engine_.MigrateDirectPlayer(), 2);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(29));
  done = true;
  holder.join();
  EXPECT_TRUE(Exists(InInstallDir(L"Vellmora-Launcher.exe")));
}

// A player or its virtual machine ended by force can leave the instance's disk inconsistent: the
// migration stops nothing while one runs, not even the launcher beside it.
TEST_F(MigrateDirectPlayerTest, ARunningPlayerIsLeftRunningWithThree) {
  WriteLauncherInstallation();
  const std::size_t launcher = StartSleeping(InInstallDir(L"Vellmora-Launcher.exe"));
  const std::size_t player = StartSleeping(InInstallDir(L"Vellmora.exe"));
  const std::size_t machine = StartSleeping(
      JoinPath(CompatibilityRuntimeDir(engine_.paths.DataDir()), L"KolvVMMgr.exe"));
  EXPECT_EQ(engine_.MigrateDirectPlayer(), 3);
  EXPECT_TRUE(Running(player));
  EXPECT_TRUE(Running(machine));
  EXPECT_TRUE(Running(launcher));
  EXPECT_TRUE(Exists(InInstallDir(L"Vellmora-Launcher.exe")));
  EXPECT_NE(LogText().find("No process was stopped."), std::string::npos) << LogText();
}

TEST_F(MigrateDirectPlayerTest, ARunningLauncherAloneIsStoppedAndRemoved) {
  WriteLauncherInstallation();
  const std::size_t launcher = StartSleeping(InInstallDir(L"Vellmora-Launcher.exe"));
  const std::size_t elsewhere = StartSleeping(machine_.In(L"Other\\Vellmora.exe"));
  EXPECT_EQ(engine_.MigrateDirectPlayer(), 0);
  EXPECT_FALSE(Running(launcher));
  EXPECT_TRUE(Running(elsewhere));
  ExpectMigrated();
}

TEST_F(MigrateDirectPlayerTest, AFailedStepGivesFourAndLeavesTheLauncher) {
  WriteLauncherInstallation();
  ASSERT_EQ(platform::DeleteFileW(InInstallDir(L"ProductLogo.ico")), 0u);
  EXPECT_EQ(engine_.MigrateDirectPlayer(), 4);
  EXPECT_TRUE(Exists(InInstallDir(L"Vellmora-Launcher.exe")));
  EXPECT_EQ(LogText().find("[+] Vellmora migrated"), std::string::npos);
}

}  // namespace
}  // namespace vellmora::testing
