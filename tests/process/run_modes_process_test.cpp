// The real installer executable, started the way Windows starts it, on the test's machine.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/child_process.h"
#include "support/log_cursor.h"
#include "support/test_machine.h"

#if VELLMORA_PLATFORM_SIM
#include "platform/sim/sim_control.h"
#endif

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

// The wizard's children run without a display, so that they report the missing window and end
// instead of opening one on the developer's desktop.
class WizardPathTest : public InstallerProcessTest,
                       public ::testing::WithParamInterface<WizardCase> {
 protected:
  WizardPathTest() {
#if VELLMORA_PLATFORM_SIM
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
#endif
  }
};

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

struct InstallAllCase {
  const char* name;
  const wchar_t* command_line;
  const char* drive;  // where the installation goes
};

class InstallAllTest : public InstallerProcessTest,
                       public ::testing::WithParamInterface<InstallAllCase> {};

TEST_P(InstallAllTest, InstallsOnItsDrive) {
  const InstallAllCase& c = GetParam();
  LogCursor log;
  ChildResult result = RunInstaller(c.command_line);
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
  std::string drive = c.drive;
  EXPECT_NE(context.find(" | install=" + drive + ":\\Vellmora | data=" + drive +
                         ":\\ProgramData\\Vellmora | elevated="),
            std::string::npos)
      << context;
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.rfind("FINISH ", 0) == 0; }),
            1)
      << log.NewText();
  EXPECT_TRUE(HasLine(lines, "FINISH ERROR: This operation is not available in this build."))
      << log.NewText();
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, InstallAllTest,
    ::testing::Values(
        InstallAllCase{"QuotedUpperCaseOptionSelectsTheQuotedDrive", L"   --INSTALL-ALL   \"D:\\\"   ",
                       "D"},
        InstallAllCase{"NoArgumentKeepsTheDetectedDisk", L"--install-all", "C"}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

struct ExitCase {
  const char* name;
  const wchar_t* command_line;
  int exit_code;
  const char* line;  // a line the run must leave in the log; null: no operation line at all
  bool begins_operation;
};

// Lines that only an operation writes (its header, stages, messages and result).
bool HasOperationLine(const std::vector<std::string>& lines) {
  for (const char* prefix : {"BEGIN: ", "CONTEXT: ", "STAGE: ", "LOG: ", "FINISH "}) {
    if (HasLine(lines, prefix)) return true;
  }
  return false;
}

class ExitCodeTest : public InstallerProcessTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitCodeTest, EndsWithItsExitCodeAndLogLine) {
  const ExitCase& c = GetParam();
  LogCursor log;
  ChildResult result = RunInstaller(c.command_line);
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, c.exit_code);
  std::vector<std::string> lines = log.NewLines();
  if (c.line) {
    EXPECT_TRUE(HasLine(lines, c.line)) << log.NewText();
  } else {
    EXPECT_FALSE(HasOperationLine(lines)) << log.NewText();
  }
  EXPECT_EQ(HasLine(lines, "BEGIN: "), c.begins_operation) << log.NewText();
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ExitCodeTest,
    ::testing::Values(
        ExitCase{"InstallAllOnARemovableDrive", L"--install-all E:", 15,
                 "DRIVE REJECTED: not a fixed disk; requested=E:", false},
        ExitCase{"InstallAllOnAnUnknownDrive", L"--install-all Q:", 15,
                 "DRIVE REJECTED: not a fixed disk; requested=Q:", false},
        ExitCase{"RegistryDiagnosticFailsLoudly", L"--debug-registry D:\\Vellmora", 29,
                 "FINISH ERROR: This operation is not available in this build.", true},
        ExitCase{"ComDiagnosticOnARemovableDrive", L"--debug-com E:", 15, nullptr, false},
        ExitCase{"Pie64DiagnosticWithoutADrive", L"--debug-pie64", 15, nullptr, false},
        ExitCase{"MigrationWithoutTheProduct", L"--migrate-direct-player", 1,
                 "LOG: No installed Vellmora with a registered Pie64 instance was found; nothing "
                 "to migrate.",
                 false}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

// What a crash record says; ok is false (and the reason in error) when it does not hold exactly
// the four lines.
struct CrashRecord {
  bool ok = false;
  std::string error;
  std::string code;
  std::string process_id;
  std::string thread_id;
};

platform::Path CrashRecordPath() { return platform::GetTempPathW() + L"Vellmora-Installer-Crash.log"; }

CrashRecord ReadCrashRecord() {
  CrashRecord parsed;
  std::string text;
  if (!ReadTestFile(CrashRecordPath(), &text)) {
    parsed.error = "no crash record";
    return parsed;
  }
  const char* names[] = {"exception_code=0x", "exception_address=", "process_id=", "thread_id="};
  std::string* values[] = {&parsed.code, nullptr, &parsed.process_id, &parsed.thread_id};
  std::size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    std::string name = names[i];
    std::size_t end = text.find("\r\n", at);
    if (text.compare(at, name.size(), name) != 0 || end == std::string::npos) {
      parsed.error = "line " + std::to_string(i + 1) + " is not " + name + "...: " + text;
      return parsed;
    }
    if (values[i]) *values[i] = text.substr(at + name.size(), end - at - name.size());
    at = end + 2;
  }
  if (at != text.size()) {
    parsed.error = "something after the fourth line: " + text;
    return parsed;
  }
  parsed.ok = true;
  return parsed;
}

// A record of an earlier crash, longer than any new one: the new record must replace it whole.
void LeaveAnOldLongRecord() {
  ASSERT_TRUE(WriteTestFile(CrashRecordPath(), std::string(600, 'x') + "\r\n"));
}

struct ProbeCase {
  const char* name;
  const wchar_t* mode;
  bool on_main_thread;
};

class CrashProbeTest : public InstallerProcessTest,
                       public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(CrashProbeTest, TheCrashHandlersWriteOneFreshRecordNamingTheThread) {
  const ProbeCase& c = GetParam();
  LeaveAnOldLongRecord();
  ChildResult result =
      RunChild(BuiltExecutable(VELLMORA_CRASH_PROBE_EXE), c.mode, machine_.SimRoot());
  ASSERT_TRUE(result.finished);
  EXPECT_NE(result.exit_code, 0);
  EXPECT_NE(result.exit_code, 2) << "the probe did not crash";
  CrashRecord record = ReadCrashRecord();
  ASSERT_TRUE(record.ok) << record.error;
  std::string main_thread;
  ASSERT_TRUE(
      ReadTestFile(platform::GetTempPathW() + L"crash-probe-main-thread.txt", &main_thread));
  EXPECT_EQ(record.thread_id == main_thread, c.on_main_thread)
      << "record thread " << record.thread_id << ", main thread " << main_thread;
  if (std::wstring(c.mode).find(L"null-write") != std::wstring::npos) {
    EXPECT_EQ(record.code, "C0000005");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Crashes, CrashProbeTest,
    ::testing::Values(ProbeCase{"NullWriteOnTheMainThread", L"null-write", true},
                      ProbeCase{"NullWriteOnAnotherThread", L"thread-null-write", false},
                      ProbeCase{"ExceptionEscapingAThread", L"thread-throw", false}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

#if VELLMORA_PLATFORM_SIM
struct InstallerCrashCase {
  const char* name;
  const wchar_t* command_line;
  std::uint32_t fault;
  const char* code;
  bool on_main_thread;  // the entry thread is the process's first thread: its id is the pid
  int exit_code;
};

class InstallerCrashTest : public InstallerProcessTest,
                           public ::testing::WithParamInterface<InstallerCrashCase> {};

// The installer's very first change to the machine crashes (or throws): the record proves that
// the entry installed its handlers before anything else, on whichever thread the work ran.
TEST_P(InstallerCrashTest, TheFirstOperationThatFailsLeavesARecord) {
  const InstallerCrashCase& c = GetParam();
  LeaveAnOldLongRecord();
  sim::AddMachineFault({"create_directory", L"*", 1, c.fault});
  ChildResult result = RunInstaller(c.command_line);
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, c.exit_code);
  CrashRecord record = ReadCrashRecord();
  ASSERT_TRUE(record.ok) << record.error;
  EXPECT_EQ(record.code, c.code);
  EXPECT_EQ(record.thread_id == record.process_id, c.on_main_thread) << record.thread_id;
}

INSTANTIATE_TEST_SUITE_P(
    Crashes, InstallerCrashTest,
    ::testing::Values(
        InstallerCrashCase{"WizardThreadCrashes", L"", sim::kFaultCrash, "C0000005", false, 5},
        InstallerCrashCase{"WizardThreadThrows", L"", sim::kFaultThrow, "00000000", false, 3},
        InstallerCrashCase{"EntryThreadCrashes", L"--install-all", sim::kFaultCrash, "C0000005",
                           true, 5},
        InstallerCrashCase{"EntryThreadThrows", L"--install-all D:", sim::kFaultThrow, "00000000",
                           true, 3}),
    [](const auto& test_info) { return std::string(test_info.param.name); });
#endif

}  // namespace
}  // namespace vellmora::testing
