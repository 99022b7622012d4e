#include "app/restart_resume.h"

#include <filesystem>
#include <optional>

#include "app/app_test.h"
#include "app/text.h"
#include "platform/paths.h"

namespace vellmora::testing {
namespace {

class RestartResume : public AppTest {
 protected:
  void SetUp() override {
#if VELLMORA_PLATFORM_SIM
    // Drive D: is the folder of the running test, so that it has a Windows path of its own.
    namespace fs = std::filesystem;
    const fs::path executable = fs::read_symlink("/proc/self/exe");
    const std::string drive = machine_.SimRoot() + "/drives/D";
    fs::remove(drive);
    fs::create_directory_symlink(executable.parent_path(), drive);
#endif
    ASSERT_FALSE(platform::GetModuleFileNameW().empty());
    DeleteRegistryValue(RegistryRoot::kCurrentUser, kRunOnceKey, kResumeValueName);
  }
  void TearDown() override {
    DeleteRegistryValue(RegistryRoot::kCurrentUser, kRunOnceKey, kResumeValueName);
  }

  static std::optional<std::wstring> ResumeEntry() {
    std::wstring value;
    if (!ReadRegistryString(RegistryRoot::kCurrentUser, kRunOnceKey, kResumeValueName, &value)) {
      return std::nullopt;
    }
    return value;
  }
};

TEST_F(RestartResume, TheResumeEntryIsTheQuotedExecutableAndGoesAway) {
  ASSERT_TRUE(SetResumeEntry(true));
  EXPECT_EQ(ResumeEntry(), L"\"" + platform::GetModuleFileNameW() + L"\"");
  EXPECT_TRUE(SetResumeEntry(false));
  EXPECT_EQ(ResumeEntry(), std::nullopt);
  EXPECT_TRUE(SetResumeEntry(false));  // already gone
}

#if VELLMORA_PLATFORM_SIM
// The cases that restart (or fail to restart) Windows run on the simulated machine only: under
// Wine, ExitWindowsEx ends every process of the prefix, the test suite included.
TEST_F(RestartResume, AFailedOperationRestartsWithTheResumeEntry) {
  RestartWindowsNow(false, 0);
  EXPECT_EQ(ResumeEntry(), L"\"" + platform::GetModuleFileNameW() + L"\"");
  EXPECT_EQ(sim::RecordedRestarts(), std::vector<std::string>{"flags=0x00000012 reason=0x80040002"});
  EXPECT_TRUE(sim::RecordedMessageBoxes().empty());
}

TEST_F(RestartResume, ASuccessfulOperationRemovesAnEarlierEntryAndRestarts) {
  ASSERT_TRUE(SetResumeEntry(true));
  RestartWindowsNow(true, 0);
  EXPECT_EQ(ResumeEntry(), std::nullopt);
  EXPECT_EQ(sim::RecordedRestarts().size(), 1u);
}

struct RestartFailure {
  const char* name;
  const char* kind;
  const wchar_t* pattern;
  std::uint32_t error;
};

class RestartWithoutWindows : public RestartResume,
                              public ::testing::WithParamInterface<RestartFailure> {};

TEST_P(RestartWithoutWindows, TellsTheUserAndLeavesNoResumeEntry) {
  const RestartFailure& failure = GetParam();
  sim::InjectFault({failure.kind, failure.pattern, 1, failure.error});
  LogCursor log;
  RestartWindowsNow(false, 0);
  EXPECT_EQ(ResumeEntry(), std::nullopt);
  EXPECT_TRUE(sim::RecordedRestarts().empty());
  EXPECT_EQ(sim::RecordedMessageBoxes(),
            std::vector<std::string>{
                "Vell Mora|Não foi possível reiniciar o Windows automaticamente. Salve seus arquivos "
                "e reinicie pelo menu Iniciar.|type=0x00000030"});
  EXPECT_NE(log.NewText().find("RESTART: "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, RestartWithoutWindows,
    ::testing::Values(
        RestartFailure{"PrivilegeNotHeld", "adjust_privileges", L"SeShutdownPrivilege",
                       platform::kErrorNotAllAssigned},
        RestartFailure{"RestartRefused", "exit_windows", L"*", platform::kErrorAccessDenied},
        RestartFailure{"RunOnceNotWritable", "reg_set",
                       L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                       platform::kErrorAccessDenied}),
    [](const auto& test) { return std::string(test.param.name); });
#endif

}  // namespace
}  // namespace vellmora::testing
