#include "engine/player_theme.h"

#include "app/path_helpers.h"
#include "app/system_errors.h"
#include "app/text.h"
#include "engine/engine_test.h"
#include "platform/files.h"

namespace vellmora::testing {
namespace {

class PlayerThemeTest : public EngineTest {
 public:
  platform::Path Player() { return JoinPath(engine_.paths.InstallDir(), L"Vellmora.exe"); }
  platform::Path Logo() { return JoinPath(engine_.paths.InstallDir(), L"ProductLogo.ico"); }
  platform::Path Cache() {
    return JoinPath(engine_.paths.local_app_data, L"DO-Rarari_ovm5\\cache\\qmlcache");
  }
  platform::Path LowerCache() {
    return JoinPath(Cache(), L"08523e4e67271599f5bb2e57c07b4108dc314c3d.qmlc");
  }
  platform::Path UpperCache() {
    return JoinPath(Cache(), L"755080695C2EB9FE522A948F55FB7FB092A25767.qmlc");
  }
  void LayOutTheme() {
    for (const platform::Path& path : {Player(), Logo(), LowerCache(), UpperCache()}) {
      Write(path, "theme");
    }
  }
};

TEST_F(PlayerThemeTest, ACompleteThemeIsVerified) {
  LayOutTheme();
  EXPECT_TRUE(VerifyPlayerTheme(engine_));
  EXPECT_EQ(LogText(),
            "[+] Personalized Vellmora v3 theme and driverless WHPX runtime verified.\n");
}

// The first missing piece is named, in the order the player needs them, with the dot form of the
// detail for "not there" and for the wrong kind of entry.
TEST_F(PlayerThemeTest, TheFirstMissingPieceIsNamed) {
  struct Case {
    const char* name;
    platform::Path (PlayerThemeTest::*path)();
    bool make_directory;  // a directory where a file belongs (or the reverse for the cache)
    const char* what;
  };
  const Case cases[] = {
      {"no player", &PlayerThemeTest::Player, false, "theme file"},
      {"no logo", &PlayerThemeTest::Logo, false, "theme file"},
      {"logo is a folder", &PlayerThemeTest::Logo, true, "theme file"},
      {"no cache folder", &PlayerThemeTest::Cache, false, "QML cache directory"},
      {"cache is a file", &PlayerThemeTest::Cache, true, "QML cache directory"},
      {"no lower-case cache file", &PlayerThemeTest::LowerCache, false, "QML cache file"},
      {"no upper-case cache file", &PlayerThemeTest::UpperCache, false, "QML cache file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveTestTree(engine_.paths.InstallDir());
    RemoveTestTree(JoinPath(engine_.paths.local_app_data, L"DO-Rarari_ovm5"));
    LayOutTheme();
    const platform::Path path = (this->*c.path)();
    RemoveTestTree(path);
    if (c.make_directory) {
      if (path == Cache()) {
        Write(path, "not a folder");
      } else {
        MakeTestDirectories(path);
      }
    }
    engine_.view.log_lines.clear();
    EXPECT_FALSE(VerifyPlayerTheme(engine_));
    EXPECT_EQ(LogText(), std::string("The personalized Vellmora v3 ") + c.what +
                             " is missing or unreadable: " + ToUtf8(path) + ".\n");
  }
}

TEST_F(PlayerThemeTest, AStatusThatCannotBeReadCarriesTheWindowsError) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  LayOutTheme();
  sim::InjectFault({"get_attributes", L"*ProductLogo.ico", 1, platform::kErrorAccessDenied});
  EXPECT_FALSE(VerifyPlayerTheme(engine_));
  EXPECT_EQ(LogText(),
            "The personalized Vellmora v3 theme file is missing or unreadable: " + ToUtf8(Logo()) +
                " (Windows error 5: " + SystemErrorText(platform::kErrorAccessDenied) + ").\n");
#endif
}

// The player is started from here by an elevated process: a link in its place is not the
// installed player.
TEST_F(PlayerThemeTest, ALinkedCacheFolderIsRefused) {
  LayOutTheme();
  const platform::Path elsewhere = machine_.In(L"elsewhere");
  MakeTestDirectories(elsewhere);
  for (const platform::Path& file : {LowerCache(), UpperCache()}) {
    Write(JoinPath(elsewhere, LastComponent(file)), "theme");
  }
  RemoveTestTree(Cache());
  if (!MakeJunction(Cache(), elsewhere)) GTEST_SKIP() << "no junctions on this system";
  EXPECT_FALSE(VerifyPlayerTheme(engine_));
  EXPECT_EQ(LogText(),
            "The personalized Vellmora v3 QML cache directory is missing or "
            "unreadable: " +
                ToUtf8(Cache()) + ".\n");
}

}  // namespace
}  // namespace vellmora::testing
