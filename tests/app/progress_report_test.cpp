#include "app/progress_report.h"

#include <regex>

#include "app/installer_engine.h"
#include "app_test.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace vellmora::testing {
namespace {

class ProgressReportTest : public AppTest {
 protected:
  InstallerEngine engine_;
};

TEST_F(ProgressReportTest, FirstLineCreatesTheLogWithItsPrefix) {
  platform::Path program_data;
  ASSERT_EQ(platform::SHGetKnownFolderPath(platform::KnownFolder::kProgramData, false,
                                           &program_data),
            0u);
  LogCursor log;
  ReportLog(engine_, "[*] Checking the destination.");
  std::string text = log.NewText();
  std::regex line(R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} pid=\d+\] )"
                  R"(LOG: \[\*\] Checking the destination\.\r\n)");
  EXPECT_TRUE(std::regex_match(text, line)) << text;
  EXPECT_EQ(InstallLog::Instance().CurrentPath(),
            program_data + L"\\Vellmora-Installer\\Logs\\Vellmora-Instalacao.txt");
  InstallerSnapshot snapshot = engine_.TakeSnapshot();
  ASSERT_EQ(snapshot.log_lines.size(), 1u);
  EXPECT_EQ(snapshot.log_lines[0], "[*] Checking the destination.");
  EXPECT_TRUE(std::regex_match(snapshot.log_times[0], std::regex(R"(\[\d{2}:\d{2}:\d{2}\])")));
}

TEST_F(ProgressReportTest, AJunctionAtTheLogFolderSendsTheLogToTemp) {
  platform::Path program_data;
  ASSERT_EQ(platform::SHGetKnownFolderPath(platform::KnownFolder::kProgramData, false,
                                           &program_data),
            0u);
  platform::Path installer = program_data + L"\\Vellmora-Installer";
  RemoveTestTree(installer);
  platform::Path elsewhere = machine_.In(L"elsewhere");
  ASSERT_TRUE(MakeTestDirectories(elsewhere));
  platform::Win32Error made = platform::CreateJunction(installer, elsewhere);
  if (made == platform::kErrorNotSupported || made == platform::kErrorInvalidParameter) {
    GTEST_SKIP() << "this system cannot create junctions (error " << made << ")";
  }
  ASSERT_EQ(made, 0u);
  platform::Path fallback = platform::GetTempPathW() + L"Vellmora-Instalacao.txt";
  LogCursor log(fallback);
  ReportLog(engine_, "redirected");
  EXPECT_EQ(InstallLog::Instance().CurrentPath(), fallback);
  EXPECT_NE(log.NewText().find("LOG: redirected\r\n"), std::string::npos);
  EXPECT_EQ(platform::GetFileAttributesW(elsewhere + L"\\Logs"), platform::kInvalidFileAttributes)
      << "nothing may be created through the junction";
  platform::RemoveDirectoryW(installer);
}

TEST_F(ProgressReportTest, RepeatedStageWritesTwiceShowsOnce) {
  LogCursor log;
  ReportStage(engine_, "Step 1/4: Downloading", "Engine package");
  ReportStage(engine_, "Step 1/4: Downloading", "Engine package");
  ReportStage(engine_, "Step 2/4: Checking", "");
  std::vector<std::string> lines = log.NewLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "STAGE: Step 1/4: Downloading | Engine package");
  EXPECT_EQ(lines[1], lines[0]);
  EXPECT_EQ(lines[2], "STAGE: Step 2/4: Checking");
  InstallerSnapshot snapshot = engine_.TakeSnapshot();
  ASSERT_EQ(snapshot.log_lines.size(), 2u);
  EXPECT_EQ(snapshot.log_lines[0], "Step 1/4: Downloading: Engine package");
  EXPECT_EQ(snapshot.log_lines[1], "Step 2/4: Checking");
  EXPECT_EQ(snapshot.stage_title, "Step 2/4: Checking");
  EXPECT_EQ(snapshot.stage_detail, "");
}

TEST_F(ProgressReportTest, VisibleLogKeepsTheNewest200) {
  for (int i = 1; i <= 250; ++i) ReportLog(engine_, "line " + std::to_string(i));
  InstallerSnapshot snapshot = engine_.TakeSnapshot();
  ASSERT_EQ(snapshot.log_lines.size(), 200u);
  ASSERT_EQ(snapshot.log_times.size(), 200u);
  EXPECT_EQ(snapshot.log_lines.front(), "line 51");
  EXPECT_EQ(snapshot.log_lines.back(), "line 250");
}

struct FinishCase {
  bool chained;
  bool restart;
  bool success;
  const char* title;
  bool busy_after;
};

TEST_F(ProgressReportTest, FinishSetsTheFinalStateOfTheTable) {
  const FinishCase cases[] = {
      {true, false, true, "Preparing the next installation step", true},
      {true, true, false, "Recovering the previous installation", true},
      {false, true, true, "Restart required", false},
      {false, true, false, "Restart required", false},
      {false, false, true, "Completed", false},
      {false, false, false, "Operation failed", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    engine_.BeginOperation("Testing");
    engine_.SetChained(c.chained);
    if (c.restart) {
      std::lock_guard<std::mutex> guard(engine_.lock);
      engine_.view.restart_required = true;
    }
    ReportFinish(engine_, c.success, "done");
    InstallerSnapshot snapshot = engine_.TakeSnapshot();
    EXPECT_EQ(snapshot.stage_title, c.title);
    EXPECT_EQ(snapshot.busy, c.busy_after);
    EXPECT_EQ(snapshot.last_succeeded, c.success);
    EXPECT_EQ(snapshot.stage_detail, "done");
  }
}

TEST_F(ProgressReportTest, FinishLineCarriesStageAndTruncatedPercentage) {
  engine_.BeginOperation("Testing");
  ReportStage(engine_, "Step 4/4: Pie64", "");
  engine_.SetProgress(0.999f);
  LogCursor log;
  ReportFinish(engine_, false, "The Pie64 instance could not be registered.");
  std::vector<std::string> lines = log.NewLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "FINISH ERROR: The Pie64 instance could not be registered. | stage=Step 4/4: Pie64 | "
            "progress=99%");
  InstallerSnapshot snapshot = engine_.TakeSnapshot();
  EXPECT_NEAR(snapshot.progress, 0.999f, 1e-5f) << "a failure leaves the bar where it was";

  engine_.BeginOperation("Testing");
  engine_.SetProgressRange(0.2f, 0.6f);
  ReportFinish(engine_, true, "ok");
  EXPECT_FLOAT_EQ(engine_.TakeSnapshot().progress, 0.6f) << "success fills the band";
}

TEST_F(ProgressReportTest, FinishDoesNotRepeatTheLastVisibleLineNorShowAnEmptyMessage) {
  engine_.BeginOperation("Testing");
  ReportLog(engine_, "Same text.");
  ReportFinish(engine_, false, "Same text.");
  EXPECT_EQ(engine_.TakeSnapshot().log_lines.size(), 1u);

  engine_.BeginOperation("Testing");
  LogCursor log;
  ReportFinish(engine_, true, "");
  EXPECT_TRUE(engine_.TakeSnapshot().log_lines.empty());
  std::vector<std::string> lines = log.NewLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("FINISH SUCCESS:  | stage=Testing | progress=0%", 0), 0u) << lines[0];
}

TEST_F(ProgressReportTest, LogWriteFailuresFallBackToTemp) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  ReportLog(engine_, "first");
  platform::Path primary = InstallLog::Instance().CurrentPath();
  sim::InjectFault({"create_file", L"*\\Logs\\Vellmora-Instalacao.txt", 1,
                    platform::kErrorSharingViolation});
  platform::Path fallback = platform::GetTempPathW() + L"Vellmora-Instalacao.txt";
  LogCursor log(fallback);
  ReportLog(engine_, "second");
  EXPECT_EQ(InstallLog::Instance().CurrentPath(), fallback);
  EXPECT_NE(log.NewText().find("LOG: second\r\n"), std::string::npos);
  EXPECT_NE(primary, fallback);
#endif
}

}  // namespace
}  // namespace vellmora::testing
