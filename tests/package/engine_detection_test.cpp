// The installed-Engine and registered-installation probes against an Engine installed by hand
// from the forge's payload: its files, its registry values and its "tag.txt".
#include <gtest/gtest.h>

#include <functional>

#include "../app/app_test.h"
#include "app/installation_probes.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "forge/forge.h"
#include "platform/files.h"
#include "support/fixture_path.h"
#include "support/log_cursor.h"

namespace vellmora::testing {
namespace {

class EngineDetectionTest : public AppTest {
 protected:
  // Paths of one installation inside the sandbox, so that each case has a tree of its own.
  InstallPaths PathsIn(const std::wstring& name) {
    const Path base = machine_.In(name);
    InstallPaths paths;
    paths.install_base = JoinPath(base, L"Disk");
    paths.data_base = JoinPath(paths.install_base, L"ProgramData");
    paths.program_files = JoinPath(base, L"Program Files");
    paths.program_data = JoinPath(base, L"ProgramData");
    paths.local_app_data = JoinPath(base, L"Local");
    paths.user_profile = JoinPath(base, L"Profile");
    paths.desktop = JoinPath(base, L"Desktop");
    paths.start_menu_folder = JoinPath(base, L"Programs\\Vellmora");
    return paths;
  }

  static Path QmlCacheOf(const InstallPaths& paths) {
    return JoinPath(paths.local_app_data, L"DO-Rarari_ovm5\\cache\\qmlcache");
  }

  // The Engine's files from the forge and the registry values the Engine procedure writes.
  static void InstallByHand(const InstallPaths& paths,
                            const forge::PackageOptions& options = SmallEngine()) {
    forge::InstalledEngineDirs dirs{FixturePath(paths.InstallDir()), FixturePath(paths.DataDir()),
                                    FixturePath(paths.local_app_data)};
    ASSERT_TRUE(MakeTestDirectories(paths.local_app_data));
    std::string error;
    ASSERT_TRUE(forge::LayOutInstalledEngine(options, dirs, &error)) << error;
    Register(paths);
  }

  static void Register(const InstallPaths& paths) {
    ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, kProductKey,
                                    L"PackageReleaseVersion", L"3.9.1.0"));
    ASSERT_TRUE(WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"ComIdentityVersion",
                                   4));
    ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, kProductKey, L"InstallDir",
                                    paths.InstallDir()));
    ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, kProductKey, L"DataDir",
                                    paths.DataDir()));
  }

  static forge::PackageOptions SmallEngine() {
    forge::PackageOptions options;
    options.payload_bytes = 64 * 1024;
    return options;
  }

  static bool Delete(const Path& path) { return platform::DeleteFileW(path) == platform::kErrorSuccess; }
  static bool SetString(const wchar_t* name, const std::wstring& value) {
    return WriteRegistryString(RegistryRoot::kLocalMachine, kProductKey, name, value);
  }
};

TEST_F(EngineDetectionTest, EngineInstalledByHandIsRecognised) {
  InstallerEngine engine;
  engine.paths = PathsIn(L"complete");
  InstallByHand(engine.paths);
  EXPECT_TRUE(IsCurrentEngineInstalled(engine));
  EXPECT_TRUE(HasRegisteredInstallation(engine));
}

struct MissingPiece {
  const char* name;
  std::function<bool(const InstallPaths&)> take_away;  // false: the case could not be prepared
};

TEST_F(EngineDetectionTest, EachMissingPieceMeansNotInstalled) {
  auto in_install = [](const wchar_t* name) {
    return [name](const InstallPaths& p) { return Delete(JoinPath(p.InstallDir(), name)); };
  };
  const MissingPiece cases[] = {
      {"invalid paths", [](const InstallPaths&) { return true; }},
      {"release value missing",
       [](const InstallPaths&) {
         return DeleteRegistryValue(RegistryRoot::kLocalMachine, kProductKey,
                                    L"PackageReleaseVersion");
       }},
      {"release value with a trailing blank",
       [](const InstallPaths&) { return SetString(L"PackageReleaseVersion", L"3.9.1.0 "); }},
      {"older release value",
       [](const InstallPaths&) { return SetString(L"PackageReleaseVersion", L"3.9.0.0"); }},
      {"COM identity version 3",
       [](const InstallPaths&) {
         return WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"ComIdentityVersion",
                                   3);
       }},
      {"COM identity version as text",
       [](const InstallPaths&) { return SetString(L"ComIdentityVersion", L"4"); }},
      {"installed manifest missing",
       [](const InstallPaths& p) {
         return Delete(JoinPath(p.DataDir(), L"installed-engine-package-manifest.json"));
       }},
      {"installed manifest of an instance",
       [](const InstallPaths& p) {
         forge::PackageOptions instance;
         instance.kind = forge::PackageKind::kInstance;
         return WriteTestFile(JoinPath(p.DataDir(), L"installed-engine-package-manifest.json"),
                              forge::ManifestText(instance));
       }},
      {"QML cache folder missing",
       [](const InstallPaths& p) {
         RemoveTestTree(QmlCacheOf(p));
         return true;
       }},
      {"QML cache folder is a file",
       [](const InstallPaths& p) {
         RemoveTestTree(QmlCacheOf(p));
         return WriteTestFile(QmlCacheOf(p), "not a folder");
       }},
      {"Vellmora.exe", in_install(L"Vellmora.exe")},
      {"ProductLogo.ico", in_install(L"ProductLogo.ico")},
      {"VLCore.dll", in_install(L"VLCore.dll")},
      {"KolvVMM.dll", in_install(L"KolvVMM.dll")},
      {"libOpenglRender.dll", in_install(L"libOpenglRender.dll")},
      {"VLMServ.exe", in_install(L"VLMServ.exe")},
      {"KolvC.dll", in_install(L"KolvC.dll")},
      {"KolvProxyStub.dll", in_install(L"KolvProxyStub.dll")},
      {"VLMServ.exe is a folder",
       [](const InstallPaths& p) {
         return Delete(JoinPath(p.InstallDir(), L"VLMServ.exe")) &&
                MakeTestDirectories(JoinPath(p.InstallDir(), L"VLMServ.exe"));
       }},
      {"VellmoraOX.conf",
       [](const InstallPaths& p) { return Delete(JoinPath(p.DataDir(), L"VellmoraOX.conf")); }},
      {"Vellmora.exe of another release",
       [](const InstallPaths& p) {
         forge::PackageOptions older = SmallEngine();
         older.file_version = "3.9.0.0";
         RemoveTestTree(p.InstallDir());
         return forge::LayOutInstalledEngine(
             older, {FixturePath(p.InstallDir()), FixturePath(p.DataDir()), FixturePath(p.local_app_data)},
             nullptr);
       }},
      {"Vellmora.exe with another product version",
       [](const InstallPaths& p) {
         forge::PackageOptions older = SmallEngine();
         older.product_version = "3.9.1.1";
         RemoveTestTree(p.InstallDir());
         return forge::LayOutInstalledEngine(
             older, {FixturePath(p.InstallDir()), FixturePath(p.DataDir()), FixturePath(p.local_app_data)},
             nullptr);
       }},
      {"first named cache file",
       [](const InstallPaths& p) {
         return Delete(JoinPath(QmlCacheOf(p), L"08523e4e67271599f5bb2e57c07b4108dc314c3d.qmlc"));
       }},
      {"second named cache file",
       [](const InstallPaths& p) {
         return Delete(JoinPath(QmlCacheOf(p), L"755080695C2EB9FE522A948F55FB7FB092A25767.qmlc"));
       }},
      {"only the two named cache files",
       [](const InstallPaths& p) {
         std::vector<platform::DirectoryEntry> entries;
         if (platform::ListDirectory(QmlCacheOf(p), &entries) != platform::kErrorSuccess) return false;
         for (const auto& entry : entries) {
           if (!EqualsIgnoringCase(entry.name, std::wstring(L"08523e4e67271599f5bb2e57c07b4108dc314c3d.qmlc")) &&
               !EqualsIgnoringCase(entry.name, std::wstring(L"755080695C2EB9FE522A948F55FB7FB092A25767.qmlc")) &&
               !Delete(JoinPath(QmlCacheOf(p), entry.name))) {
             return false;
           }
         }
         return MakeTestDirectories(JoinPath(QmlCacheOf(p), L"folder.qmlc"));
       }},
      {"tag.txt", in_install(L"tag.txt")},
      {"tag.txt of the original edition",
       [](const InstallPaths& p) { return WriteTestFile(JoinPath(p.InstallDir(), L"tag.txt"), "_kta5\r\n"); }},
      {"tag.txt of four bytes",
       [](const InstallPaths& p) { return WriteTestFile(JoinPath(p.InstallDir(), L"tag.txt"), "_ovm"); }},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteRegistryTree(RegistryRoot::kLocalMachine, L"SOFTWARE\\Ostrevin");
    InstallerEngine engine;
    engine.paths = PathsIn(L"case" + std::to_wstring(index++));
    InstallByHand(engine.paths);
    ASSERT_TRUE(IsCurrentEngineInstalled(engine)) << "before taking the piece away";
    ASSERT_TRUE(c.take_away(engine.paths));
    if (std::string(c.name) == "invalid paths") engine.paths.start_menu_folder.clear();
    EXPECT_FALSE(IsCurrentEngineInstalled(engine));
  }
}

TEST_F(EngineDetectionTest, TagOfFiveBytesIsEnough) {
  InstallerEngine engine;
  engine.paths = PathsIn(L"tag");
  InstallByHand(engine.paths);
  ASSERT_TRUE(WriteTestFile(JoinPath(engine.paths.InstallDir(), L"tag.txt"), "_ovm5"));
  EXPECT_TRUE(IsCurrentEngineInstalled(engine));
}

TEST_F(EngineDetectionTest, QmlCacheJunctionIsNotAnInstallation) {
  InstallerEngine engine;
  engine.paths = PathsIn(L"junction");
  InstallByHand(engine.paths);
  const Path cache = QmlCacheOf(engine.paths);
  const Path moved = machine_.In(L"real-qmlcache");
  ASSERT_EQ(platform::MoveFileExW(cache, moved, 0), platform::kErrorSuccess);
  platform::Win32Error created = platform::CreateJunction(cache, moved);
  if (created == platform::kErrorNotSupported) GTEST_SKIP() << "this system cannot create junctions";
  ASSERT_EQ(created, platform::kErrorSuccess);
  EXPECT_FALSE(IsCurrentEngineInstalled(engine));
}

TEST_F(EngineDetectionTest, UnreadableCacheFolderAnswersFalseWithOneLine) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  InstallerEngine engine;
  engine.paths = PathsIn(L"denied");
  InstallByHand(engine.paths);
  const Path cache = QmlCacheOf(engine.paths);
  LogCursor log;
  sim::InjectFault({"get_attributes", cache, 1, platform::kErrorAccessDenied});
  EXPECT_FALSE(IsCurrentEngineInstalled(engine));
  EXPECT_EQ(log.NewLines(), std::vector<std::string>{
                                "Installation probe: the QML cache folder " + ToUtf8(cache) +
                                " could not be read (Windows error 5); the Engine counts as not "
                                "installed."});

  sim::ClearFaults();
  RemoveTestTree(cache);
  log.Skip();
  EXPECT_FALSE(IsCurrentEngineInstalled(engine));
  EXPECT_TRUE(log.NewLines().empty()) << "a missing folder is an ordinary answer";
#endif
}

struct RegisteredCase {
  const char* name;
  std::function<bool(const InstallPaths&)> change;
  bool registered;
};

TEST_F(EngineDetectionTest, RegisteredInstallation) {
  auto registered_as = [](std::wstring install_suffix, std::wstring data_suffix) {
    return [=](const InstallPaths& p) {
      return SetString(L"InstallDir", p.InstallDir() + install_suffix) &&
             SetString(L"DataDir", p.DataDir() + data_suffix);
    };
  };
  const RegisteredCase cases[] = {
      {"as installed", [](const InstallPaths&) { return true; }, true},
      {"trailing separators", registered_as(L"\\\\", L"/"), true},
      {"other letter case",
       [](const InstallPaths& p) {
         return SetString(L"InstallDir", ToLowerCase(p.InstallDir())) &&
                SetString(L"DataDir", ToLowerCase(p.DataDir()));
       },
       true},
      {"original edition's files",
       [](const InstallPaths& p) {
         return platform::MoveFileExW(JoinPath(p.InstallDir(), L"Vellmora.exe"),
                                      JoinPath(p.InstallDir(), L"DO-Rarari.exe"), 0) == 0 &&
                platform::MoveFileExW(JoinPath(p.DataDir(), L"VellmoraOX.conf"),
                                      JoinPath(p.DataDir(), L"pellucador.conf"), 0) == 0;
       },
       true},
      {"no DataDir value",
       [](const InstallPaths&) {
         return DeleteRegistryValue(RegistryRoot::kLocalMachine, kProductKey, L"DataDir");
       },
       false},
      {"InstallDir elsewhere",
       [](const InstallPaths& p) { return SetString(L"InstallDir", JoinPath(p.user_profile, L"Vellmora")); },
       false},
      {"InstallDir not named Vellmora",
       [](const InstallPaths& p) { return SetString(L"InstallDir", p.InstallDir() + L"2"); }, false},
      {"not a drive path",
       [](const InstallPaths& p) { return SetString(L"DataDir", p.DataDir().substr(2)); }, false},
      {"no player",
       [](const InstallPaths& p) { return Delete(JoinPath(p.InstallDir(), L"Vellmora.exe")); }, false},
      {"no configuration",
       [](const InstallPaths& p) { return Delete(JoinPath(p.DataDir(), L"VellmoraOX.conf")); }, false},
      {"install folder missing",
       [](const InstallPaths& p) {
         RemoveTestTree(p.InstallDir());
         return true;
       },
       false},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteRegistryTree(RegistryRoot::kLocalMachine, L"SOFTWARE\\Ostrevin");
    InstallerEngine engine;
    engine.paths = PathsIn(L"registered" + std::to_wstring(index++));
    InstallByHand(engine.paths);
    ASSERT_TRUE(c.change(engine.paths));
    EXPECT_EQ(HasRegisteredInstallation(engine), c.registered);
  }
}

TEST_F(EngineDetectionTest, RegisteredInstallFolderThatIsAJunctionIsRefused) {
  InstallerEngine engine;
  engine.paths = PathsIn(L"junction-install");
  InstallByHand(engine.paths);
  const Path moved = machine_.In(L"real-install");
  ASSERT_EQ(platform::MoveFileExW(engine.paths.InstallDir(), moved, 0), platform::kErrorSuccess);
  platform::Win32Error created = platform::CreateJunction(engine.paths.InstallDir(), moved);
  if (created == platform::kErrorNotSupported) GTEST_SKIP() << "this system cannot create junctions";
  ASSERT_EQ(created, platform::kErrorSuccess);
  EXPECT_FALSE(HasRegisteredInstallation(engine));
}

// What a registered installation on C: means for the destination: C: stays selectable, D: is
// refused until the product is removed.
TEST_F(EngineDetectionTest, RegisteredInstallationKeepsTheDestinationDisk) {
  const Path install_dir = L"C:\\Vellmora";
  const Path data_dir = L"C:\\ProgramData\\Vellmora";
  struct Cleanup {
    Path install_dir, data_dir;
    ~Cleanup() {
      RemoveTestTree(install_dir);
      RemoveTestTree(data_dir);
    }
  } cleanup{install_dir, data_dir};
  ASSERT_TRUE(MakeTestDirectories(install_dir));
  ASSERT_TRUE(MakeTestDirectories(data_dir));
  ASSERT_TRUE(WriteTestFile(JoinPath(install_dir, L"Vellmora.exe"), "player"));
  ASSERT_TRUE(WriteTestFile(JoinPath(data_dir, L"VellmoraOX.conf"), "klv.x=1\r\n"));
  ASSERT_TRUE(SetString(L"InstallDir", install_dir));
  ASSERT_TRUE(SetString(L"DataDir", data_dir));

  InstallerEngine engine;
  InstallerSnapshot snapshot = engine.TakeSnapshot();
  EXPECT_TRUE(snapshot.installation_traces);
  EXPECT_FALSE(snapshot.engine_installed);
  EXPECT_EQ(snapshot.stage_title, "Ready to install");

  LogCursor log;
  EXPECT_FALSE(engine.SelectDestination("D:"));
  EXPECT_EQ(log.NewLines(), std::vector<std::string>{
                                "DRIVE REJECTED: remove the existing Vellmora installation before "
                                "selecting another disk; requested=D:"});
  EXPECT_EQ(PathKey(engine.paths.install_base), L"c:\\");
  ASSERT_TRUE(engine.SelectDestination("C:"));
  EXPECT_EQ(engine.TakeSnapshot().stage_detail,
            "Existing Vellmora installation: " + ToUtf8(engine.paths.InstallDir()));
}

TEST_F(EngineDetectionTest, InstalledEngineNamesItselfInTheStageLine) {
  REQUIRE_SIMULATED_MACHINE();
  InstallerEngine defaults;
  InstallByHand(defaults.paths);
  InstallerEngine engine;
  InstallerSnapshot snapshot = engine.TakeSnapshot();
  EXPECT_TRUE(snapshot.engine_installed);
  EXPECT_TRUE(snapshot.installation_traces);
  EXPECT_EQ(snapshot.stage_title, "Vellmora Engine installed; Pie64 available");
}

}  // namespace
}  // namespace vellmora::testing
