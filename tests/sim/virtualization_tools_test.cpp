// The machine's dism.exe and bcdedit.exe: what each command line does to the machine, the exit
// codes above 255 that a host process cannot return itself, the record of every run, and the
// failures a test sets.

#include <gtest/gtest.h>

#include <string>

#include "app/installer_engine.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "package/run_captured.h"
#include "platform/files.h"
#include "platform/sim/sim_control.h"
#include "support/test_machine.h"

namespace {

using vellmora::testing::TestMachine;

constexpr const wchar_t* kLibrary = L"C:\\Windows\\System32\\WinHvPlatform.dll";

class SimVirtualizationTools : public ::testing::Test {
 protected:
  struct Result {
    bool ran = false;
    std::uint32_t exit_code = 0;
    std::string output;
    platform::Win32Error error = 0;
  };
  Result Run(const wchar_t* tool, const std::wstring& arguments) {
    Result result;
    result.ran = vellmora::RunCaptured(
        engine_, vellmora::QuoteArgument(vellmora::System32Dir() + L"\\" + tool) + arguments,
        30000, &result.exit_code, &result.output, &result.error);
    return result;
  }
  static bool LibraryPresent() {
    platform::FileStatus status;
    return platform::GetFileStatus(kLibrary, &status) == platform::kErrorSuccess;
  }

  TestMachine machine_;
  vellmora::InstallerEngine engine_;
};

TEST_F(SimVirtualizationTools, DismEnablesThePlatformOnceAndAsksForARestart) {
  const std::wstring enable =
      L" /Online /Enable-Feature /FeatureName:HypervisorPlatform /All /NoRestart /English";
  ASSERT_EQ(platform::DeleteFileW(kLibrary), platform::kErrorSuccess);
  Result first = Run(L"dism.exe", enable);
  ASSERT_TRUE(first.ran);
  EXPECT_EQ(first.exit_code, 3010u);
  EXPECT_NE(first.output.find("Restart Windows to complete this operation."), std::string::npos);
  EXPECT_TRUE(LibraryPresent());

  Result again = Run(L"dism.exe", enable);
  EXPECT_EQ(again.exit_code, 0u);
  EXPECT_EQ(again.output.find("Restart Windows"), std::string::npos);

  const std::vector<sim::SystemToolRun> runs = sim::SystemToolRuns();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].tool, L"dism.exe");
  EXPECT_EQ(runs[0].command_line, L"\"C:\\Windows\\System32\\dism.exe\"" + enable);
  EXPECT_EQ(runs[0].exit_code, 3010u);
  EXPECT_EQ(runs[1].exit_code, 0u);
}

TEST_F(SimVirtualizationTools, DismRefusals) {
  struct Case {
    const char* name;
    bool elevated;
    std::wstring arguments;
    std::uint32_t exit_code;
    const char* says;
  };
  const Case cases[] = {
      {"not elevated", false, L" /Online /Enable-Feature /FeatureName:HypervisorPlatform", 740,
       "Elevated permissions are required to run DISM."},
      {"an unknown feature", true, L" /Online /Enable-Feature /FeatureName:NoSuchFeature",
       0x800F080Cu, "Feature name NoSuchFeature is unknown."},
      {"an unknown option", true, L" /Online /Enable-Feature /Bogus", 87,
       "The /Bogus option is unknown."},
      {"no image named", true, L" /Enable-Feature /FeatureName:HypervisorPlatform", 87,
       "The command line is not complete."},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    sim::SetElevated(test.elevated);
    Result result = Run(L"dism.exe", test.arguments);
    ASSERT_TRUE(result.ran);
    EXPECT_EQ(result.exit_code, test.exit_code);
    EXPECT_NE(result.output.find(test.says), std::string::npos) << result.output;
  }
  EXPECT_TRUE(LibraryPresent());  // a new machine's, untouched
}

TEST_F(SimVirtualizationTools, BcdeditKeepsTheHypervisorLaunchType) {
  EXPECT_EQ(sim::BootSetting("hypervisorlaunchtype"), "");
  Result set = Run(L"bcdedit.exe", L" /set hypervisorlaunchtype auto");
  EXPECT_EQ(set.exit_code, 0u);
  EXPECT_EQ(set.output, "The operation completed successfully.\r\n");
  EXPECT_EQ(sim::BootSetting("hypervisorlaunchtype"), "Auto");
  EXPECT_EQ(Run(L"bcdedit.exe", L" /set {current} hypervisorlaunchtype Off").exit_code, 0u);
  EXPECT_EQ(sim::BootSetting("hypervisorlaunchtype"), "Off");

  for (const wchar_t* wrong : {L" /set hypervisorlaunchtype sometimes", L" /set", L" /enum x"}) {
    Result refused = Run(L"bcdedit.exe", wrong);
    EXPECT_EQ(refused.exit_code, 1u);
    EXPECT_EQ(refused.output, "The parameter is incorrect.\r\n");
  }
  sim::SetElevated(false);
  Result denied = Run(L"bcdedit.exe", L" /set hypervisorlaunchtype auto");
  EXPECT_EQ(denied.exit_code, 1u);
  EXPECT_NE(denied.output.find("Access is denied."), std::string::npos);
  EXPECT_EQ(sim::BootSetting("hypervisorlaunchtype"), "Off");
}

TEST_F(SimVirtualizationTools, ATestSetsExitCodesAndOutputAndTakesToolsAway) {
  sim::SetSystemToolFailure(L"dism.exe", {.exit_code = 0x800F0922u, .output = "Error: 0x800f0922"});
  Result failed = Run(L"dism.exe", L" /Online");
  EXPECT_EQ(failed.exit_code, 0x800F0922u);
  EXPECT_EQ(failed.output, "Error: 0x800f0922");

  sim::SetSystemToolFailure(L"bcdedit.exe", {.start_error = 1260});
  Result blocked = Run(L"bcdedit.exe", L" /set hypervisorlaunchtype auto");
  EXPECT_FALSE(blocked.ran);
  EXPECT_EQ(blocked.error, 1260u);

  sim::SetSystemToolFailure(L"bcdedit.exe", {});
  ASSERT_EQ(platform::DeleteFileW(L"C:\\Windows\\System32\\bcdedit.exe"), platform::kErrorSuccess);
  Result missing = Run(L"bcdedit.exe", L" /set hypervisorlaunchtype auto");
  EXPECT_FALSE(missing.ran);
  EXPECT_EQ(missing.error, platform::kErrorFileNotFound);

  // Only the run that started is in the record.
  EXPECT_EQ(sim::SystemToolRuns().size(), 1u);
}

}  // namespace
