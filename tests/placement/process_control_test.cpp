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
