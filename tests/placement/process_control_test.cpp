#include "windows/process_control.h"

#include "app/path_helpers.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "placement/placement_test.h"
#include "windows/product_registry_key.h"

namespace vellmora::testing {
namespace {

class StopDirectoryListTest : public PlacementTest {
 protected:
  StopDirectoryListTest() {
    engine_.paths.install_base = L"C:\\";
    engine_.paths.data_base = L"C:\\ProgramData";
  }
  ~StopDirectoryListTest() override {
    DeleteRegistryTree(RegistryRoot::kLocalMachine, L"SOFTWARE\\Pellucador_ovm5");
    DeleteRegistryTree(RegistryRoot::kCurrentUser, L"SOFTWARE\\Ostrevin");
    DeleteRegistryTree(RegistryRoot::kCurrentUser, L"SOFTWARE\\Pellucador_ovm5");
  }
  static std::vector<std::wstring> Keys(const StopDirectoryList& list) {
    std::vector<std::wstring> keys;
    for (const auto& directory : list.directories) keys.push_back(PathKey(directory));
    return keys;
  }
};

TEST_F(StopDirectoryListTest, StartsWithTheTwoDefaultDirectories) {
  StopDirectoryList list = BuildStopDirectoryList(engine_);
  EXPECT_EQ(Keys(list), (std::vector<std::wstring>{
                            L"c:\\vellmora", L"c:\\programdata\\vellmora\\runtime\\pellucador_kta5"}));
  EXPECT_FALSE(list.foreign_directory);
}

TEST_F(StopDirectoryListTest, RegisteredDirectoriesFollowTheAcceptanceRules) {
  struct Case {
    const wchar_t* value;
    const wchar_t* added;  // null: not accepted
    bool foreign;
  };
  const Case cases[] = {
      {L"D:\\ProgramData\\Vellmora", L"d:\\programdata\\vellmora", true},
      {L"D:\\Data\\Vellmora\\Engine", L"d:\\data\\vellmora", true},
      {L"D:\\Data\\Vellmora\\engine\\ENGINE", L"d:\\data\\vellmora", true},
      {L"C:\\Vellmora", nullptr, false},  // a default already listed
      {L"D:\\Data\\Other", nullptr, false},
      {L"Vellmora", nullptr, false},
      {L"D:Vellmora", nullptr, false},
      {L"D:\\Data\\Vellmora\\", nullptr, false},
      {L"\\\\server\\share\\Vellmora", L"\\\\server\\share\\vellmora", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.value));
    ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, kProductKey, L"DataDir", c.value));
    StopDirectoryList list = BuildStopDirectoryList(engine_);
    std::vector<std::wstring> keys = Keys(list);
    if (c.added) {
      ASSERT_EQ(keys.size(), 3u);
      EXPECT_EQ(keys[2], c.added);
    } else {
      EXPECT_EQ(keys.size(), 2u);
    }
    EXPECT_EQ(list.foreign_directory, c.foreign);
  }
}

TEST_F(StopDirectoryListTest, TheSameDirectoryUnderBothRootsIsListedOnce) {
  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, L"SOFTWARE\\Pellucador_ovm5",
                                  L"UserDefinedDir", L"E:\\Games\\Vellmora"));
  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kCurrentUser, L"SOFTWARE\\Ostrevin\\Vellmora",
                                  L"InstallDir", L"e:\\games\\VELLMORA\\"));
  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kCurrentUser, L"SOFTWARE\\Pellucador_ovm5",
                                  L"DataDir", L"E:\\Games\\Vellmora\\Engine"));
  StopDirectoryList list = BuildStopDirectoryList(engine_);
  EXPECT_EQ(Keys(list).size(), 3u);
  EXPECT_EQ(PathKey(list.directories.back()), L"e:\\games\\vellmora");
  EXPECT_TRUE(list.foreign_directory);
}

TEST_F(StopDirectoryListTest, CallerListsExtendEachOtherInOrder) {
  EXPECT_EQ(InstanceProcessNames(),
            (ProcessNames{L"Vellmora.exe", L"DO-Rarari.exe", L"RV-MultiInstanceManager.exe",
                          L"KolvVMMgr.exe", L"KolvSVC.exe", L"VLMServ.exe"}));
  EXPECT_EQ(LauncherMigrationNames().back(), L"Vellmora-Launcher.exe");
  EXPECT_EQ(LauncherMigrationNames().size(), 7u);
  EXPECT_EQ(PathKey(CompatibilityRuntimeDir(L"D:\\ProgramData\\Vellmora")),
            L"d:\\programdata\\vellmora\\runtime\\pellucador_kta5");
}

}  // namespace
}  // namespace vellmora::testing

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/path_helpers.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "platform/system.h"
#include "support/child_process.h"

namespace vellmora::testing {
namespace {

// Stand-ins for the product's programs: the child tool copied under their names, sleeping.
class ProcessControlTest : public PlacementTest {
 protected:
  ~ProcessControlTest() override {
    for (auto& process : started_) {
      platform::TerminateProcess(process.process.Get(), 0);
      platform::WaitForSingleObject(process.process.Get(), 5000);
    }
#if VELLMORA_PLATFORM_SIM
    sim::ClearUnopenableProcesses();
#endif
  }
  // Starts a copy of the child tool at path; returns its index in started_.
  std::size_t Start(const platform::Path& path) {
    std::ifstream in(BuiltExecutable(VELLMORA_CHILD_TOOL_EXE), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    MakeTestDirectories(ParentPath(path));
    EXPECT_TRUE(WriteTestFile(path, bytes.str()));
    platform::ProcessInformation information;
    EXPECT_EQ(platform::CreateProcessW(QuoteArgument(path) + L" sleep 60000", false,
                                       platform::kCreateNoWindow, {}, &information),
              0u);
    started_.push_back(std::move(information));
    // Ending a process that is still being set up is a case of its own (and can wedge Wine): wait
    // until the snapshot shows it with its image path.
    const ProcessNames name = {LastComponent(path)};
    for (int i = 0; i < 500 && !AnyNamedProcessUnder(ParentPath(path), name, 0); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return started_.size() - 1;
  }
  bool Running(std::size_t index) {
    return platform::WaitForSingleObject(started_[index].process.Get(), 0) ==
           platform::kWaitTimeout;
  }
  platform::Path InInstallDir(const wchar_t* name) {
    return JoinPath(engine_.paths.InstallDir(), name);
  }

  std::vector<platform::ProcessInformation> started_;
};

TEST_F(ProcessControlTest, OnlyAPlayerRunningFromTheProductIsFoundAndEnded) {
  const std::size_t elsewhere = Start(machine_.In(L"Other\\Vellmora.exe"));
  EXPECT_FALSE(AnyNamedProcessUnder(engine_.paths.InstallDir(), ProductProcessNames(), 0));
  EXPECT_FALSE(NamedProcessRunningInProduct(engine_.paths.InstallDir(), engine_.paths.DataDir(),
                                            ProductProcessNames(), 0));
  const std::size_t inside = Start(InInstallDir(L"Vellmora.exe"));
  EXPECT_TRUE(NamedProcessRunningInProduct(engine_.paths.InstallDir(), engine_.paths.DataDir(),
                                           ProductProcessNames(), 0));
  // Excluding its id hides it; another name list does not see it.
  EXPECT_FALSE(AnyNamedProcessUnder(engine_.paths.InstallDir(), ProductProcessNames(),
                                    started_[inside].process_id));
  EXPECT_FALSE(AnyNamedProcessUnder(engine_.paths.InstallDir(), LauncherName(), 0));
  EXPECT_FALSE(WaitForNamedProcessesToExit(engine_.paths.InstallDir(), ProductProcessNames(), 0, 0));

  StopProcessesUnder(engine_, true);
  EXPECT_FALSE(Running(inside));
  EXPECT_TRUE(Running(elsewhere));
  EXPECT_TRUE(WaitForNamedProcessesToExit(engine_.paths.InstallDir(), ProductProcessNames(), 0, 0));
}

TEST_F(ProcessControlTest, TheLauncherSurvivesAStopWithoutForceOnly) {
  const std::size_t launcher = Start(InInstallDir(L"Vellmora-Launcher.exe"));
  const std::size_t player = Start(
      JoinPath(CompatibilityRuntimeDir(engine_.paths.DataDir()), L"DO-Rarari.exe"));
  StopProcessesUnder(engine_, false);
  EXPECT_TRUE(Running(launcher));
  EXPECT_FALSE(Running(player));
  StopProcessesUnder(engine_, true);
  EXPECT_FALSE(Running(launcher));
}

TEST_F(ProcessControlTest, AListedProcessThatCannotBeOpenedCountsAsRunning) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  sim::AddUnopenableProcess(L"KolvVMMgr.exe");
  EXPECT_TRUE(AnyNamedProcessUnder(engine_.paths.InstallDir(), ProductProcessNames(), 0));
  EXPECT_TRUE(NamedProcessRunningInProduct(machine_.In(L"Elsewhere"), machine_.In(L"Data"),
                                           ProductProcessNames(), 0));
  EXPECT_FALSE(AnyNamedProcessUnder(engine_.paths.InstallDir(), LauncherName(), 0));
  const std::uint64_t start = platform::GetTickCount64();
  EXPECT_FALSE(
      WaitForNamedProcessesToExit(engine_.paths.InstallDir(), ProductProcessNames(), 1200, 0));
  EXPECT_GE(platform::GetTickCount64() - start, 1200u);
  StopProcessesUnder(engine_, true);  // nothing to open, nothing ended, no failure
#endif
}

}  // namespace
}  // namespace vellmora::testing
