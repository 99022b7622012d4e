// The real installer executable, started the way Windows starts it, on the test's machine.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/child_process.h"
#include "support/log_cursor.h"
#include "support/test_machine.h"

namespace vellmora::testing {
namespace {

bool HasLine(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

std::string LineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const auto& line : lines) {
    if (line.rfind(prefix, 0) == 0) return line;
  }
  return {};
}

class InstallerProcessTest : public ::testing::Test {
 protected:
  ChildResult RunInstaller(const std::wstring& command_line) {
    return RunChild(BuiltExecutable(VELLMORA_SETUP_EXE), command_line, machine_.SimRoot());
  }

  TestMachine machine_;
};

struct WizardCase {
  const char* name;
  const wchar_t* command_line;
};

class WizardPathTest : public InstallerProcessTest,
                       public ::testing::WithParamInterface<WizardCase> {};

TEST_P(WizardPathTest, OpensTheWizardAndExitsZero) {
  LogCursor log;
  ChildResult result = RunInstaller(GetParam().command_line);
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0);
  std::vector<std::string> lines = log.NewLines();
  EXPECT_TRUE(HasLine(lines, "WIZARD: ")) << log.NewText();
  EXPECT_FALSE(HasLine(lines, "BEGIN: ")) << log.NewText();
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, WizardPathTest,
    ::testing::Values(WizardCase{"Empty", L""}, WizardCase{"Blanks", L"   \t "},
                      WizardCase{"MigrationWithExtraWord", L"--migrate-direct-player x"},
                      WizardCase{"UnknownOption", L"--frobnicate"}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

TEST_F(InstallerProcessTest, QuotedUpperCaseInstallAllSelectsTheQuotedDrive) {
  LogCursor log;
  ChildResult result = RunInstaller(L"   --INSTALL-ALL   \"D:\\\"   ");
  ASSERT_TRUE(result.finished);
  // The pipeline is not in this build: the run ends as a failed installation, not a rejection.
  EXPECT_EQ(result.exit_code, 1);
  std::vector<std::string> lines = log.NewLines();
  auto begin = std::find(lines.begin(), lines.end(),
                         "BEGIN: Preparing the complete Vellmora installation | "
                         "installer_build=3.0.0.20 | package_release=3.9.1.0");
  ASSERT_NE(begin, lines.end()) << log.NewText();
  ASSERT_NE(begin, lines.begin());
  EXPECT_EQ(*(begin - 1), std::string(80, '=')) << "the rule opens the operation";
  std::string context = LineStartingWith(lines, "CONTEXT: ");
  EXPECT_NE(context.find(" | install=D:\\Vellmora | data=D:\\ProgramData\\Vellmora | elevated="),
            std::string::npos)
      << context;
  EXPECT_TRUE(HasLine(lines, "FINISH ERROR: This operation is not available in this build."))
      << log.NewText();
}

struct ExitCase {
  const char* name;
  const wchar_t* command_line;
  int exit_code;
  const char* line;  // a line the run must leave in the log; empty: none in particular
  bool begins_operation;
};

class ExitCodeTest : public InstallerProcessTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitCodeTest, EndsWithItsExitCodeAndLogLine) {
  const ExitCase& c = GetParam();
  LogCursor log;
  ChildResult result = RunInstaller(c.command_line);
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, c.exit_code);
  std::vector<std::string> lines = log.NewLines();
  if (*c.line != '\0') {
    EXPECT_TRUE(HasLine(lines, c.line)) << log.NewText();
  }
  EXPECT_EQ(HasLine(lines, "BEGIN: "), c.begins_operation) << log.NewText();
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ExitCodeTest,
    ::testing::Values(
        ExitCase{"InstallAllKeepsTheDetectedDisk", L"--install-all", 1,
                 "CONTEXT: exe=", true},
        ExitCase{"InstallAllOnARemovableDrive", L"--install-all E:", 15,
                 "DRIVE REJECTED: not a fixed disk; requested=E:", false},
        ExitCase{"InstallAllOnAnUnknownDrive", L"--install-all Q:", 15,
                 "DRIVE REJECTED: not a fixed disk; requested=Q:", false},
        ExitCase{"RegistryDiagnosticFailsLoudly", L"--debug-registry D:\\Vellmora", 29,
                 "FINISH ERROR: This operation is not available in this build.", true},
        ExitCase{"ComDiagnosticOnARemovableDrive", L"--debug-com E:", 15, "", false},
        ExitCase{"Pie64DiagnosticWithoutADrive", L"--debug-pie64", 15, "", false},
        ExitCase{"MigrationFailsLoudly", L"--migrate-direct-player", 4,
                 "LOG: [-] The direct-player migration is not available in this build.", false}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

TEST_F(InstallerProcessTest, CrashRecordHoldsExactlyFourLines) {
  ChildResult result = RunChild(BuiltExecutable(VELLMORA_CRASH_PROBE_EXE), L"", machine_.SimRoot());
  ASSERT_TRUE(result.finished);
  EXPECT_NE(result.exit_code, 0);

  platform::Path record_path = platform::GetTempPathW() + L"Vellmora-Installer-Crash.log";
  std::string record;
  ASSERT_TRUE(ReadTestFile(record_path, &record));
  std::vector<std::string> names = {"exception_code=0x", "exception_address=", "process_id=",
                                    "thread_id="};
  std::size_t at = 0;
  for (const auto& name : names) {
    ASSERT_EQ(record.compare(at, name.size(), name), 0) << record;
    std::size_t end = record.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << record;
    at = end + 2;
  }
  EXPECT_EQ(at, record.size()) << "nothing after the fourth line: " << record;
  EXPECT_NE(record.find("exception_code=0xC0000005\r\n"), std::string::npos) << record;
}

}  // namespace
}  // namespace vellmora::testing
