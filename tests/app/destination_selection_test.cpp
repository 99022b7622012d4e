#include "app/destination_selection.h"

#include <algorithm>

#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/text.h"
#include "app_test.h"

namespace vellmora::testing {
namespace {

class DestinationTest : public AppTest {};

TEST_F(DestinationTest, FixedDrivesAreListedInOrder) {
  std::vector<platform::Path> drives = ListFixedDrives();
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives.front(), L"C:\\");
  EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end()));
  EXPECT_NE(std::find(drives.begin(), drives.end(), L"D:\\"), drives.end());
  EXPECT_EQ(std::find(drives.begin(), drives.end(), L"E:\\"), drives.end()) << "E: is removable";
}

TEST_F(DestinationTest, DriveTextsSelectTheRootOfTheirDisk) {
  for (const char* text : {"D:", "d:\\Games", "D:\\"}) {
    SCOPED_TRACE(text);
    InstallerEngine engine;
    ASSERT_TRUE(engine.SelectDestination(text));
    EXPECT_EQ(PathKey(engine.paths.install_base), L"d:\\");
    EXPECT_EQ(PathKey(engine.paths.DataDir()), L"d:\\programdata\\vellmora");
    InstallerSnapshot snapshot = engine.TakeSnapshot();
    EXPECT_EQ(ToLowerCase(FromUtf8(snapshot.install_dir_text)), L"d:\\vellmora");
    EXPECT_EQ(snapshot.stage_detail, "Selected destination: " + snapshot.install_dir_text);
  }
}

struct RejectionCase {
  const char* text;
  const char* line;  // null: rejected without a line
};

TEST_F(DestinationTest, RejectionsLeaveTheirLineAndChangeNothing) {
  const RejectionCase cases[] = {
      {"E:", "DRIVE REJECTED: not a fixed disk; requested=E:"},
      {"Games", "DRIVE REJECTED: not a fixed disk; requested=Games"},
      {"Q:\\", "DRIVE REJECTED: not a fixed disk; requested=Q:\\"},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    InstallerEngine engine;
    LogCursor log;
    EXPECT_FALSE(engine.SelectDestination(c.text));
    std::vector<std::string> lines = log.NewLines();
    if (c.line) {
      ASSERT_EQ(lines.size(), 1u) << log.NewText();
      EXPECT_EQ(lines[0], c.line);
    } else {
      EXPECT_TRUE(lines.empty()) << log.NewText();
    }
    EXPECT_EQ(engine.paths.install_base, L"C:\\");
  }
}

TEST_F(DestinationTest, NetworkDriveIsRejected) {
  REQUIRE_SIMULATED_MACHINE();
  InstallerEngine engine;
  LogCursor log;
  EXPECT_FALSE(engine.SelectDestination("Z:\\"));
  EXPECT_EQ(log.NewLines(), std::vector<std::string>{"DRIVE REJECTED: not a fixed disk; requested=Z:\\"});
}

TEST_F(DestinationTest, FixedDiskMissingFromTheListIsRejected) {
  InstallerEngine engine;
  {
    std::lock_guard<std::mutex> guard(engine.lock);
    engine.view.fixed_drives = {"C:\\"};
  }
  LogCursor log;
  EXPECT_FALSE(engine.SelectDestination("D:"));
  EXPECT_EQ(log.NewLines(),
            std::vector<std::string>{
                "DRIVE REJECTED: fixed disk is not in the available destination list; requested=D:"});
}

struct ExistingInstallationCase {
  const char* name;
  bool engine;
  bool registered;
};

TEST_F(DestinationTest, AnExistingInstallationKeepsItsDisk) {
  const ExistingInstallationCase cases[] = {
      {"the Engine is installed", true, false},
      {"the registry records an installation", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InstallationProbes probes;
    probes.engine_installed = [&c](const InstallerEngine&) { return c.engine; };
    probes.pie64_registered = [](const InstallerEngine&) { return false; };
    probes.registered_installation = [&c](const InstallerEngine&) { return c.registered; };
    InstallerEngine engine(probes);
    LogCursor log;
    EXPECT_TRUE(engine.SelectDestination("c:"));
    EXPECT_EQ(engine.TakeSnapshot().stage_detail, "Existing Vellmora installation: C:\\Vellmora");
    EXPECT_EQ(log.NewText(), "");
    EXPECT_FALSE(engine.SelectDestination("D:\\Games"));
    EXPECT_EQ(log.NewLines(),
              std::vector<std::string>{"DRIVE REJECTED: remove the existing Vellmora installation "
                                       "before selecting another disk; requested=D:\\Games"});
    EXPECT_EQ(engine.paths.install_base, L"C:\\");
    EXPECT_EQ(engine.TakeSnapshot().install_dir_text, "C:\\Vellmora");
  }
}

TEST_F(DestinationTest, TheNewDiskIsProbedOnceSelected) {
  InstallationProbes probes;
  probes.engine_installed = [](const InstallerEngine&) { return false; };
  probes.pie64_registered = [](const InstallerEngine&) { return false; };
  probes.registered_installation = [](const InstallerEngine& engine) {
    return PathKey(engine.paths.install_base) == L"d:\\";
  };
  InstallerEngine engine(probes);
  EXPECT_FALSE(engine.TakeSnapshot().installation_traces);
  ASSERT_TRUE(engine.SelectDestination("D:"));
  EXPECT_TRUE(engine.TakeSnapshot().installation_traces);
  // D: now holds an installation, so the choice is final.
  EXPECT_FALSE(engine.SelectDestination("C:"));
  EXPECT_EQ(PathKey(engine.paths.install_base), L"d:\\");
}

TEST_F(DestinationTest, ASelectionWhileBusyIsRefusedSilently) {
  InstallerEngine engine;
  engine.BeginOperation("Preparing Pie64");
  LogCursor log;
  EXPECT_FALSE(engine.SelectDestination("D:"));
  EXPECT_EQ(log.NewText(), "");
  EXPECT_EQ(engine.paths.install_base, L"C:\\");
}

}  // namespace
}  // namespace vellmora::testing
