#include "app/installer_engine.h"

#include <atomic>
#include <cwchar>
#include <limits>
#include <memory>

#include "app/adb_port.h"
#include "app/progress_report.h"
#include "app_test.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace vellmora::testing {
namespace {

class InstallerEngineTest : public AppTest {
 protected:
  void Register(const std::wstring& install_dir, const std::wstring& data_dir) {
    ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, kProductKey, L"InstallDir",
                                    install_dir));
    ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, kProductKey, L"DataDir",
                                    data_dir));
  }
};

TEST_F(InstallerEngineTest, FreshMachineInstallsBesideProgramFiles) {
  InstallerEngine engine;
  std::wstring program_files;
  ASSERT_EQ(platform::GetEnvironmentVariableW(L"ProgramW6432", &program_files), 0u);
  std::wstring drive = program_files.substr(0, 3);
  EXPECT_EQ(engine.paths.InstallDir(), drive + L"Vellmora");
  EXPECT_EQ(engine.paths.DataDir(), drive + L"ProgramData\\Vellmora");
  EXPECT_TRUE(engine.paths.IsValid());
  InstallerSnapshot snapshot = engine.TakeSnapshot();
  EXPECT_EQ(snapshot.stage_title, "Ready to install");
  EXPECT_FALSE(snapshot.busy);
  EXPECT_EQ(snapshot.install_dir_text, "C:\\Vellmora");
  EXPECT_EQ(snapshot.destination_root_text, "C:\\");
  EXPECT_FALSE(snapshot.log_path.empty());
}

struct AdoptionCase {
  const wchar_t* install_dir;
  const wchar_t* data_dir;
  const wchar_t* install_base;  // null: not adopted
  const wchar_t* data_base;
};

TEST_F(InstallerEngineTest, RegisteredInstallationIsAdoptedOnlyWhenSound) {
  const AdoptionCase cases[] = {
      {L"D:\\Apps\\Vellmora\\", L"D:\\ProgramData\\Vellmora", L"D:\\Apps", L"D:\\ProgramData"},
      {L"D:\\Vellmora", L"D:\\ProgramData\\vellmora/", L"D:\\", L"D:\\ProgramData"},
      {L"D:\\Apps\\Emulator", L"D:\\ProgramData\\Vellmora", nullptr, nullptr},
      {L"D:\\Vellmora", L"D:\\Vellmora\\Data\\Vellmora", nullptr, nullptr},
      {L"D:\\Vellmora", L"d:\\vellmora", nullptr, nullptr},
      {L"Vellmora", L"D:\\ProgramData\\Vellmora", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.install_dir, c.install_dir + std::wcslen(c.install_dir)));
    Register(c.install_dir, c.data_dir);
    InstallerEngine engine;
    if (c.install_base) {
      EXPECT_EQ(engine.paths.install_base, c.install_base);
      EXPECT_EQ(engine.paths.data_base, c.data_base);
    } else {
      EXPECT_EQ(engine.paths.install_base, L"C:\\");
      EXPECT_EQ(engine.paths.data_base, L"C:\\ProgramData");
    }
  }
}

TEST_F(InstallerEngineTest, StoredAdbPortIsKeptOnlyWhenUsable) {
  const struct {
    std::uint32_t stored;
    bool kept;
  } cases[] = {{6001, true}, {80, false},    {1023, false},
               {1024, true}, {65535, true}, {65536, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    ASSERT_TRUE(
        WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"AdbPort", c.stored));
    EXPECT_EQ(InstallerEngine().adb_port, c.kept ? static_cast<int>(c.stored) : PickFreePort());
  }
}

TEST_F(InstallerEngineTest, AnAdbPortStoredAsAnotherTypeIsReplaced) {
  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, kProductKey, L"AdbPort", L"6001"));
  EXPECT_EQ(InstallerEngine().adb_port, PickFreePort());
  platform::RegistryKey key;
  ASSERT_EQ(platform::RegCreateKeyExW(RegistryRoot::kLocalMachine, kProductKey,
                                      platform::kKeySetValue | platform::kKeyWow64_64Key, &key),
            0u);
  const std::uint8_t qword[8] = {0x71, 0x17, 0, 0, 0, 0, 0, 0};  // 6001
  ASSERT_EQ(platform::RegSetValueExW(key, L"AdbPort", platform::kRegQword, qword, 8), 0u);
  EXPECT_EQ(InstallerEngine().adb_port, PickFreePort());
}

TEST_F(InstallerEngineTest, ListenedPortsArePassedOver) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  sim::SetTcpListeners({135, 5565, 5566, 6001});
  ASSERT_TRUE(WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"AdbPort", 6001));
  EXPECT_EQ(InstallerEngine().adb_port, 5567);
  std::vector<std::uint16_t> all;
  for (int port = kFirstAdbPort; port <= kLastAdbPort; ++port) {
    all.push_back(static_cast<std::uint16_t>(port));
  }
  sim::SetTcpListeners(all);
  EXPECT_EQ(PickFreePort(), kFirstAdbPort);
#endif
}

TEST_F(InstallerEngineTest, AnUnreadableListenerTableHidesNoPort) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  sim::SetTcpListeners({5565, 6001});
  sim::InjectFault({"tcp_table", L"*", 1, 1});
  EXPECT_EQ(PickFreePort(), kFirstAdbPort) << "5565 is listened on, but nobody can tell";
  sim::InjectFault({"tcp_table", L"*", 1, 1});
  EXPECT_FALSE(IsPortListening(6001));
  ASSERT_TRUE(WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"AdbPort", 6001));
  sim::InjectFault({"tcp_table", L"*", 1, 1});
  EXPECT_EQ(InstallerEngine().adb_port, 6001);
#endif
}

TEST_F(InstallerEngineTest, ProgressBandArithmetic) {
  InstallerEngine engine;
  engine.SetProgressRange(0.67f, 0.84f);
  EXPECT_FLOAT_EQ(engine.TakeSnapshot().progress, 0.67f);
  engine.SetProgress(0.5f);
  EXPECT_NEAR(engine.TakeSnapshot().progress, 0.755f, 1e-6f);
  engine.SetProgress(2.0f);
  EXPECT_FLOAT_EQ(engine.TakeSnapshot().progress, 0.84f);
  engine.SetProgress(-1.0f);
  EXPECT_FLOAT_EQ(engine.TakeSnapshot().progress, 0.67f);
  engine.SetProgressRange(0.9f, 0.5f);
  EXPECT_FLOAT_EQ(engine.progress_range_start, 0.9f);
  EXPECT_FLOAT_EQ(engine.progress_range_end, 0.9f);
  engine.SetProgressRange(-3.0f, 7.0f);
  EXPECT_FLOAT_EQ(engine.progress_range_start, 0.0f);
  EXPECT_FLOAT_EQ(engine.progress_range_end, 1.0f);
}

TEST_F(InstallerEngineTest, ANanFractionCountsAsNothingDone) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  InstallerEngine engine;
  engine.SetProgressRange(0.2f, 0.6f);
  engine.SetProgress(0.5f);
  engine.SetProgress(nan);
  EXPECT_FLOAT_EQ(engine.TakeSnapshot().progress, 0.2f);
  engine.SetProgressRange(0.3f, nan);
  EXPECT_FLOAT_EQ(engine.progress_range_end, 0.3f);
  engine.SetProgressRange(nan, nan);
  EXPECT_FLOAT_EQ(engine.progress_range_start, 0.0f);
  EXPECT_FLOAT_EQ(engine.progress_range_end, 0.0f);
  {
    std::lock_guard<std::mutex> guard(engine.lock);
    engine.view.progress = nan;  // whatever a caller left, the finish line stays readable
  }
  LogCursor log;
  ReportFinish(engine, false, "stopped");
  std::vector<std::string> lines = log.NewLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(" | progress=0%"), std::string::npos) << lines[0];
}

TEST_F(InstallerEngineTest, AFinishRunsTheInstallationProbesAgain) {
  auto installed = std::make_shared<std::atomic<bool>>(false);
  InstallationProbes probes;
  probes.engine_installed = [installed](const InstallerEngine&) { return installed->load(); };
  probes.pie64_registered = [installed](const InstallerEngine&) { return installed->load(); };
  probes.registered_installation = [](const InstallerEngine&) { return false; };
  InstallerEngine engine(probes);
  EXPECT_EQ(engine.TakeSnapshot().stage_title, "Ready to install");
  EXPECT_FALSE(engine.TakeSnapshot().engine_installed);
  engine.BeginOperation("Preparing the complete Vellmora installation");
  *installed = true;
  EXPECT_FALSE(engine.TakeSnapshot().engine_installed) << "nothing probes before the finish";
  ReportFinish(engine, true, "Vellmora is ready.");
  InstallerSnapshot snapshot = engine.TakeSnapshot();
  EXPECT_TRUE(snapshot.engine_installed);
  EXPECT_TRUE(snapshot.pie64_installed);
  EXPECT_FALSE(snapshot.installation_traces);
  // A later start-up reports what the probes found.
  EXPECT_EQ(InstallerEngine(probes).TakeSnapshot().stage_title, "Vellmora and Pie64 are installed");
}

TEST_F(InstallerEngineTest, BeginOperationResetsTheRunButNotTheInstallationState) {
  InstallerEngine engine;
  ReportLog(engine, "old line");
  engine.MarkRestartRequired();
  engine.SetProgressRange(0.3f, 0.4f);
  LogCursor log;
  engine.BeginOperation("Preparing Pie64");
  InstallerSnapshot snapshot = engine.TakeSnapshot();
  EXPECT_TRUE(snapshot.busy);
  EXPECT_FALSE(snapshot.restart_required);
  EXPECT_TRUE(snapshot.log_lines.empty());
  EXPECT_EQ(snapshot.stage_title, "Preparing Pie64");
  EXPECT_FLOAT_EQ(snapshot.progress, 0.0f);
  EXPECT_FLOAT_EQ(engine.progress_range_end, 1.0f);
  std::vector<std::string> lines = log.NewLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1],
            "BEGIN: Preparing Pie64 | installer_build=3.0.0.20 | package_release=3.9.1.0");
  EXPECT_EQ(lines[2].rfind("CONTEXT: exe=", 0), 0u);
  EXPECT_NE(lines[2].find(" | install=C:\\Vellmora | data=C:\\ProgramData\\Vellmora | elevated="),
            std::string::npos)
      << lines[2];
}

TEST_F(InstallerEngineTest, MarkRestartRequiredRecordsItInTheProductKey) {
  InstallerEngine engine;
  engine.MarkRestartRequired();
  std::uint32_t value = 0;
  EXPECT_TRUE(ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"RebootRequired",
                                &value));
  EXPECT_EQ(value, 1u);
  EXPECT_TRUE(engine.TakeSnapshot().restart_required);
}

TEST_F(InstallerEngineTest, StartWhileBusyChangesNothingNotEvenTheLog) {
  InstallerEngine engine;
  engine.BeginOperation("Preparing the complete Vellmora installation");
  ReportLog(engine, "working");
  InstallerSnapshot before = engine.TakeSnapshot();
  LogCursor log;
  engine.StartFullInstallation();
  engine.StartPie64Installation();
  engine.StartCleanup();
  EXPECT_EQ(engine.InstallAllBlocking(), 170);
  EXPECT_EQ(log.NewText(), "");
  InstallerSnapshot after = engine.TakeSnapshot();
  EXPECT_EQ(after.log_lines, before.log_lines);
  EXPECT_EQ(after.stage_title, before.stage_title);
}

TEST_F(InstallerEngineTest, WorkerOperationEndsWithOneFinish) {
  InstallerEngine engine;
  LogCursor log;
  engine.StartCleanup();
  for (int i = 0; i < 500 && engine.TakeSnapshot().busy; ++i) platform::Sleep(10);
  InstallerSnapshot snapshot = engine.TakeSnapshot();
  ASSERT_FALSE(snapshot.busy) << "the worker never finished";
  EXPECT_FALSE(snapshot.last_succeeded);
  EXPECT_EQ(snapshot.stage_title, "Operation failed");
  std::vector<std::string> lines = log.NewLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], std::string(80, '='));
  EXPECT_EQ(lines[1].rfind("BEGIN: Preparing Vellmora cleanup | ", 0), 0u) << lines[1];
  std::vector<std::string> finishes;
  for (const auto& line : lines) {
    if (line.rfind("FINISH ", 0) == 0) finishes.push_back(line);
  }
  ASSERT_EQ(finishes.size(), 1u) << log.NewText();
  EXPECT_EQ(finishes[0].rfind("FINISH ERROR: This operation is not available in this build. | "
                              "stage=Preparing Vellmora cleanup | progress=0%",
                              0),
            0u)
      << finishes[0];
  EXPECT_EQ(lines.back(), finishes[0]) << "nothing after the finish";
}

}  // namespace
}  // namespace vellmora::testing
