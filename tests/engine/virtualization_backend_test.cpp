#include "engine/virtualization_backend.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/path_helpers.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "engine/engine_test.h"
#include "engine/hyperv_group_membership.h"
#include "engine/hypervisor_detection.h"
#include "platform/accounts.h"
#include "platform/files.h"

namespace vellmora::testing {
namespace {

constexpr const char* kNonMicrosoft =
    "A non-Microsoft hypervisor is active. Vellmora requires Windows Hypervisor Platform.";
constexpr const char* kFirmwareOff =
    "Hardware virtualization is disabled in UEFI/BIOS. Enable Intel VT-x or AMD SVM and run the "
    "installer again.";
constexpr const char* kEnabled =
    "[+] Windows Hypervisor Platform was enabled. Restart Windows before opening Vellmora.";
constexpr const char* kConfigured =
    "[+] Virtualization backend configured: Windows Hypervisor Platform (WHPX).";
constexpr const char* kAlreadyMember = "Hyper-V Administrators access is already configured.";
constexpr const char* kPending =
    "Hyper-V Administrators membership is pending in this session; restart Windows before using "
    "a direct shortcut.";
constexpr const char* kGroupFailed =
    "Hyper-V group access could not be configured; DO-Rarari will request administrator "
    "privileges.";
constexpr const char* kStopping =
    "The virtualization backend changed; stopping active emulator processes before applying it.";
constexpr const char* kDismCommand =
    "\"C:\\Windows\\System32\\dism.exe\" /Online /Enable-Feature /FeatureName:HypervisorPlatform "
    "/All /NoRestart /English";
constexpr const char* kBcdeditCommand =
    "\"C:\\Windows\\System32\\bcdedit.exe\" /set hypervisorlaunchtype auto";

class VirtualizationBackendTest : public EngineTest {
 protected:
  VirtualizationBackendTest() { Write(Conf(), kOriginal); }

  platform::Path Conf() { return JoinPath(pd_, L"VellmoraOX.conf"); }
  platform::Path InSystemFolder(const wchar_t* name) { return JoinPath(System32Dir(), name); }
  bool Configure() { return ConfigureVirtualizationBackend(engine_, pd_); }
  bool Visible(const std::string& line) {
    return std::find(engine_.view.log_lines.begin(), engine_.view.log_lines.end(), line) !=
           engine_.view.log_lines.end();
  }
  // The file lines that begin with prefix, without the log's time prefix.
  std::vector<std::string> DiagnosticLines(const std::string& prefix) {
    std::vector<std::string> lines;
    for (const std::string& line : log_.NewLines()) {
      if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
  }

  static constexpr const char* kOriginal = "klv.locale=\"pt-BR\"\r\n";
  LogCursor log_;
};

#if VELLMORA_PLATFORM_SIM

// The backend lines a configured file ends up with, after the file's own lines.
std::string ConfiguredText(const std::string& elevate) {
  return "klv.status.hypervisor=\"hyperv\"\r\nklv.hyperv_elevate_required=\"" + elevate +
         "\"\r\nklv.force_hyperv_elevation=\"" + elevate +
         "\"\r\nklv.shared_folders=\"Documents,Pictures,InputMapper,KlvSharedFolder\"\r\n";
}

// The machine as a new one has it again (the Microsoft hypervisor with the platform, both tools,
// elevation, the user in the Hyper-V group since logon), a fresh data root and a fresh engine.
class VirtualizationMachineTest : public VirtualizationBackendTest {
 protected:
  void Reset() {
    sim::SetProcessor({});
    sim::SetElevated(true);
    for (const wchar_t* file : {kHypervisorPlatformLibrary, L"dism.exe", L"bcdedit.exe"}) {
      ASSERT_TRUE(WriteTestFile(InSystemFolder(file), "MZ"));
    }
    for (const wchar_t* tool : {L"dism.exe", L"bcdedit.exe"}) sim::SetSystemToolFailure(tool, {});
    sim::SetLocalGroup({platform::kHyperVAdministratorsSid, L"Hyper-V Administrators",
                        {sim::MachineUserSid()}, {}});
    RemoveTestTree(pd_);
    Write(Conf(), kOriginal);
    engine_.view = {};
    log_ = LogCursor();
    runs_before_ = sim::SystemToolRuns().size();
  }

  // The system tools this test ran: "<command line> -> <exit code>".
  std::vector<std::string> ToolRuns() {
    std::vector<std::string> lines;
    const std::vector<sim::SystemToolRun> runs = sim::SystemToolRuns();
    for (std::size_t i = runs_before_; i < runs.size(); ++i) {
      lines.push_back(ToUtf8(runs[i].command_line) + " -> " + std::to_string(runs[i].exit_code));
    }
    return lines;
  }

  std::size_t runs_before_ = 0;
};

struct Row {
  const char* name;
  // The machine.
  bool hypervisor_present;
  const char* vendor;
  bool firmware;
  bool platform_library;
  bool elevated = true;
  const wchar_t* missing_tool = nullptr;
  const wchar_t* failing_tool = nullptr;
  sim::SystemToolFailure failure = {};
  // What happens.
  bool succeeds = false;
  bool restart = false;
  std::vector<std::string> tool_runs = {};
  const char* message = nullptr;  // the visible line that decides the row
  const char* dism_transcript = nullptr;
  const char* bcdedit_transcript = nullptr;
};

const std::string kDismRun = std::string(kDismCommand);
const std::string kBcdeditRun = std::string(kBcdeditCommand) + " -> 0";
constexpr const char* kDismEnabledTranscript =
    "WHPX DISM: launched=1, exit=3010, launchError=0, output=Deployment Image Servicing and "
    "Management tool Version: 10.0.22621.2792 Image Version: 10.0.22631.4602 Enabling feature(s) "
    "[==========================100.0%==========================] The operation completed "
    "successfully. Restart Windows to complete this operation.";
constexpr const char* kBcdeditTranscript =
    "WHPX BCDEDIT: launched=1, exit=0, launchError=0, output=The operation completed "
    "successfully.";

const Row kRows[] = {
    {.name = "another vendor",
     .hypervisor_present = true, .vendor = "KVMKVMKVM", .firmware = true, .platform_library = false,
     .message = kNonMicrosoft},
    {.name = "another vendor, firmware off",
     .hypervisor_present = true, .vendor = "VMwareVMware", .firmware = false,
     .platform_library = true, .message = kNonMicrosoft},
    {.name = "an empty vendor text",
     .hypervisor_present = true, .vendor = "", .firmware = true, .platform_library = true,
     .message = kNonMicrosoft},
    {.name = "a vendor that only begins like Microsoft's",
     .hypervisor_present = true, .vendor = "Microsoft", .firmware = true, .platform_library = true,
     .message = kNonMicrosoft},
    {.name = "Microsoft with the platform, firmware reported off",
     .hypervisor_present = true, .vendor = "Microsoft Hv", .firmware = false,
     .platform_library = true, .succeeds = true, .message = kConfigured},
    {.name = "Microsoft without the platform (memory integrity alone)",
     .hypervisor_present = true, .vendor = "Microsoft Hv", .firmware = true,
     .platform_library = false, .succeeds = true, .restart = true,
     .tool_runs = {kDismRun + " -> 3010", kBcdeditRun}, .message = kEnabled,
     .dism_transcript = kDismEnabledTranscript, .bcdedit_transcript = kBcdeditTranscript},
    {.name = "no hypervisor, firmware off",
     .hypervisor_present = false, .vendor = "", .firmware = false, .platform_library = false,
     .message = kFirmwareOff},
    {.name = "no hypervisor, feature off",
     .hypervisor_present = false, .vendor = "", .firmware = true, .platform_library = false,
     .succeeds = true, .restart = true, .tool_runs = {kDismRun + " -> 3010", kBcdeditRun},
     .message = kEnabled, .dism_transcript = kDismEnabledTranscript,
     .bcdedit_transcript = kBcdeditTranscript},
    {.name = "no hypervisor, feature on but not started yet",
     .hypervisor_present = false, .vendor = "", .firmware = true, .platform_library = true,
     .succeeds = true, .restart = true, .tool_runs = {kDismRun + " -> 0", kBcdeditRun},
     .message = kEnabled, .bcdedit_transcript = kBcdeditTranscript},
    {.name = "dism refuses",
     .hypervisor_present = false, .vendor = "", .firmware = true, .platform_library = false,
     .failing_tool = L"dism.exe",
     .failure = {.exit_code = 0x800F0922, .output = "\r\nError: 0x800f0922\r\n\r\nThe operation failed.\r\n"},
     .tool_runs = {kDismRun + " -> 2148469026"},
     .message = "Windows could not enable the HypervisorPlatform optional feature (exit "
                "2148469026). See Vellmora-Instalacao.txt for the DISM response.",
     .dism_transcript = "WHPX DISM: launched=1, exit=2148469026, launchError=0, output=Error: "
                        "0x800f0922 The operation failed."},
    {.name = "dism missing",
     .hypervisor_present = false, .vendor = "", .firmware = true, .platform_library = false,
     .missing_tool = L"dism.exe",
     .message = "Windows could not enable the HypervisorPlatform optional feature (exit 31). See "
                "Vellmora-Instalacao.txt for the DISM response.",
     .dism_transcript = "WHPX DISM: launched=0, exit=31, launchError=0, output="},
    {.name = "dism cannot start",
     .hypervisor_present = false, .vendor = "", .firmware = true, .platform_library = false,
     .failing_tool = L"dism.exe", .failure = {.start_error = 1260},
     .message = "Windows could not enable the HypervisorPlatform optional feature (exit 31). See "
                "Vellmora-Instalacao.txt for the DISM response.",
     .dism_transcript = "WHPX DISM: launched=0, exit=31, launchError=1260, output="},
    {.name = "not elevated: dism asks for elevation",
     .hypervisor_present = false, .vendor = "", .firmware = true, .platform_library = false,
     .elevated = false, .tool_runs = {kDismRun + " -> 740"},
     .message = "Windows could not enable the HypervisorPlatform optional feature (exit 740). See "
                "Vellmora-Instalacao.txt for the DISM response."},
    {.name = "bcdedit refuses",
     .hypervisor_present = false, .vendor = "", .firmware = true, .platform_library = false,
     .failing_tool = L"bcdedit.exe",
     .failure = {.exit_code = 1, .output = "The boot configuration data store could not be "
                                           "opened.\r\nThe system cannot find the file specified.\r\n"},
     .tool_runs = {kDismRun + " -> 3010", std::string(kBcdeditCommand) + " -> 1"},
     .message = "Windows could not set hypervisorlaunchtype to auto (exit 1). See "
                "Vellmora-Instalacao.txt for the BCDEdit response.",
     .dism_transcript = kDismEnabledTranscript,
     .bcdedit_transcript = "WHPX BCDEDIT: launched=1, exit=1, launchError=0, output=The boot "
                           "configuration data store could not be opened. The system cannot find "
                           "the file specified."},
    {.name = "bcdedit missing",
     .hypervisor_present = false, .vendor = "", .firmware = true, .platform_library = false,
     .missing_tool = L"bcdedit.exe", .tool_runs = {kDismRun + " -> 3010"},
     .message = "Windows could not set hypervisorlaunchtype to auto (exit 31). See "
                "Vellmora-Instalacao.txt for the BCDEdit response.",
     .bcdedit_transcript = "WHPX BCDEDIT: launched=0, exit=31, launchError=0, output="},
};

TEST_F(VirtualizationMachineTest, EveryRowOfTheDecisionTable) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    Reset();
    sim::SetProcessor({row.hypervisor_present, row.vendor, row.firmware});
    if (!row.platform_library) {
      ASSERT_EQ(platform::DeleteFileW(InSystemFolder(kHypervisorPlatformLibrary)), 0u);
    }
    if (row.missing_tool) {
      ASSERT_EQ(platform::DeleteFileW(InSystemFolder(row.missing_tool)), 0u);
    }
    if (row.failing_tool) sim::SetSystemToolFailure(row.failing_tool, row.failure);
    sim::SetElevated(row.elevated);

    EXPECT_EQ(Configure(), row.succeeds) << LogText();
    EXPECT_EQ(engine_.view.restart_required, row.restart);
    EXPECT_TRUE(Visible(row.message)) << LogText();
    EXPECT_EQ(ToolRuns(), row.tool_runs);
    const std::vector<std::string> dism = DiagnosticLines("WHPX DISM: ");
    const std::vector<std::string> bcdedit = DiagnosticLines("WHPX BCDEDIT: ");
    if (row.dism_transcript) {
      EXPECT_EQ(dism, std::vector<std::string>{row.dism_transcript});
    }
    if (row.bcdedit_transcript) {
      EXPECT_EQ(bcdedit, std::vector<std::string>{row.bcdedit_transcript});
    }
    if (row.tool_runs.empty() && !row.missing_tool && !row.failing_tool) {
      EXPECT_TRUE(dism.empty() && bcdedit.empty());
    }
    if (row.succeeds) {
      EXPECT_EQ(Read(Conf()), std::string(kOriginal) + ConfiguredText("0"));
      EXPECT_TRUE(Visible(kConfigured) && Visible(kAlreadyMember)) << LogText();
      EXPECT_TRUE(Exists(JoinPath(pd_, L"Engine\\UserData\\SharedFolder")));
      EXPECT_TRUE(Exists(JoinPath(pd_, L"Engine\\UserData\\InputMapper")));
    } else {
      EXPECT_EQ(Read(Conf()), kOriginal);
      EXPECT_FALSE(Visible(kConfigured));
      EXPECT_FALSE(Exists(JoinPath(pd_, L"Engine")));
    }
    // The tools' own effect on the machine: the feature's library and the boot setting.
    if (row.restart) {
      EXPECT_TRUE(HypervisorPlatformInstalled());
      EXPECT_EQ(sim::BootSetting("hypervisorlaunchtype"), "Auto");
    }
  }
}

TEST_F(VirtualizationMachineTest, ToolOutputIsFlattenedAndCutInTheTranscript) {
  sim::SetProcessor({false, "", true});
  std::string output = "\r\n  Line\tone\r\n\r\n   two  \t  three \r\n";
  output += std::string(4000, 'x');
  sim::SetSystemToolFailure(L"dism.exe", {.exit_code = 87, .output = output});
  EXPECT_FALSE(Configure());
  const std::string expected = "Line one two three " + std::string(3000 - 19, 'x');
  EXPECT_EQ(DiagnosticLines("WHPX DISM: "),
            std::vector<std::string>{"WHPX DISM: launched=1, exit=87, launchError=0, output=" +
                                     expected});
}

// Each group state, with what the elevation keys and the restart flag make of it.
TEST_F(VirtualizationMachineTest, HyperVAdministratorsGroupStates) {
  struct GroupCase {
    const char* name;
    bool group_exists;
    const wchar_t* group_name;
    bool member_since_logon;
    bool added_before;
    bool elevated;
    HyperVGroupState state;
    const char* message;
  };
  const GroupCase cases[] = {
      {"member since logon", true, L"Hyper-V Administrators", true, false, true,
       HyperVGroupState::kAlreadyMember, kAlreadyMember},
      {"not a member", true, L"Hyper-V Administrators", false, false, true,
       HyperVGroupState::kAdded, kPending},
      {"listed by an earlier run, not in the token yet", true, L"Hyper-V Administrators", false,
       true, true, HyperVGroupState::kAdded, kPending},
      {"a localised group name", true, L"Administradores do Hyper-V", false, false, true,
       HyperVGroupState::kAdded, kPending},
      {"no such group on this edition", false, L"", false, false, true, HyperVGroupState::kFailed,
       kGroupFailed},
      {"the add is refused", true, L"Hyper-V Administrators", false, false, false,
       HyperVGroupState::kFailed, kGroupFailed},
  };
  for (const GroupCase& group : cases) {
    SCOPED_TRACE(group.name);
    Reset();
    const std::wstring user = sim::MachineUserSid();
    sim::RemoveLocalGroup(platform::kHyperVAdministratorsSid);
    if (group.group_exists) {
      sim::LocalGroup local{platform::kHyperVAdministratorsSid, group.group_name, {}, {}};
      if (group.member_since_logon) local.members.push_back(user);
      if (group.added_before) local.added_since_logon.push_back(user);
      sim::SetLocalGroup(local);
    }
    sim::SetElevated(group.elevated);

    EXPECT_EQ(EnsureHyperVAdministratorsMembership(), group.state);
    ASSERT_TRUE(Configure()) << LogText();
    const bool elevate = group.state != HyperVGroupState::kAlreadyMember;
    EXPECT_EQ(Read(Conf()), std::string(kOriginal) + ConfiguredText(elevate ? "1" : "0"));
    EXPECT_EQ(engine_.view.restart_required, group.state == HyperVGroupState::kAdded);
    EXPECT_TRUE(Visible(group.message)) << LogText();
    if (group.state == HyperVGroupState::kAdded) {
      const std::vector<sim::LocalGroup> groups = sim::LocalGroups();
      auto hyperv = std::find_if(groups.begin(), groups.end(), [](const sim::LocalGroup& g) {
        return g.sid == platform::kHyperVAdministratorsSid;
      });
      ASSERT_NE(hyperv, groups.end());
      EXPECT_EQ(hyperv->added_since_logon, std::vector<std::wstring>{user});
      EXPECT_TRUE(hyperv->members.empty());
    }
  }
}

TEST_F(VirtualizationMachineTest, ProcessesAreStoppedOnlyWhenTheBackendChanges) {
  const std::pair<std::string, bool> cases[] = {
      {"klv.status.hypervisor=\"hyperv\"\r\n", false},
      {"klv.status.hypervisor=\"raw\"\r\n", true},
      {"klv.status.hypervisor=hyperv\r\n", true},
      {"", true},
  };
  for (const auto& [text, stops] : cases) {
    SCOPED_TRACE(text);
    Write(Conf(), text);
    engine_.view = {};
    ASSERT_TRUE(Configure()) << LogText();
    EXPECT_EQ(Visible(kStopping), stops);
  }
}

TEST_F(VirtualizationMachineTest, AConfiguredDataRootIsLeftUnwritten) {
  Write(Conf(), ConfiguredText("0"));
  MakeTestDirectories(JoinPath(pd_, L"Engine\\UserData\\SharedFolder"));
  MakeTestDirectories(JoinPath(pd_, L"Engine\\UserData\\InputMapper"));
  // Any write of the configuration would fail the run.
  sim::InjectFault({"create_file", Conf() + L".vellmora.tmp", 1, 5});
  EXPECT_TRUE(Configure()) << LogText();
  EXPECT_EQ(engine_.view.log_lines, (std::vector<std::string>{kConfigured, kAlreadyMember}));
  EXPECT_EQ(Read(Conf()), ConfiguredText("0"));
}

TEST_F(VirtualizationMachineTest, FileFailuresAreReportedWithTheirPaths) {
  const std::string conf = ToUtf8(Conf());
  {
    SCOPED_TRACE("unreadable configuration");
    sim::InjectFault({"create_file", Conf(), 1, 32});
    EXPECT_FALSE(Configure());
    EXPECT_TRUE(Visible("Could not read VellmoraOX.conf while detecting the virtualization mode: " +
                        conf + " (CRT error 0)."))
        << LogText();
    sim::ClearFaults();
  }
  {
    SCOPED_TRACE("a file where the shared folder goes");
    engine_.view = {};
    Write(JoinPath(pd_, L"Engine\\UserData\\SharedFolder"), "not a folder");
    EXPECT_FALSE(Configure());
    const std::string prefix = "Failed to create the Vellmora shared-folder directory: " +
                               ToUtf8(JoinPath(pd_, L"Engine\\UserData\\SharedFolder")) +
                               " (Windows error ";
    ASSERT_FALSE(engine_.view.log_lines.empty());
    EXPECT_EQ(engine_.view.log_lines.back().rfind(prefix, 0), 0u) << LogText();
    EXPECT_EQ(Read(Conf()), kOriginal);
    ASSERT_EQ(platform::DeleteFileW(JoinPath(pd_, L"Engine\\UserData\\SharedFolder")), 0u);
  }
  {
    SCOPED_TRACE("the configuration cannot be saved");
    engine_.view = {};
    sim::InjectFault({"create_file", Conf() + L".vellmora.tmp", 1, 112});
    EXPECT_FALSE(Configure());
    EXPECT_TRUE(Visible("Failed to save the detected virtualization mode in VellmoraOX.conf: " +
                        conf + " (CRT error 0)."))
        << LogText();
    EXPECT_EQ(Read(Conf()), kOriginal);
  }
}

#else  // Windows: Wine here runs in a KVM guest, whose processor reports a non-Microsoft hypervisor.

TEST_F(VirtualizationBackendTest, AnotherVendorsHypervisorIsRefusedBeforeAnythingChanges) {
  if (DetectHypervisor() != HypervisorState::kOther) {
    GTEST_SKIP() << "this machine's hypervisor is not another vendor's (\"" << HypervisorVendor()
                 << "\"): the refusal cannot be shown here";
  }
  EXPECT_FALSE(Configure());
  EXPECT_TRUE(Visible(kNonMicrosoft)) << LogText();
  EXPECT_EQ(Read(Conf()), kOriginal);
  EXPECT_FALSE(Exists(JoinPath(pd_, L"Engine")));
  EXPECT_FALSE(engine_.view.restart_required);
}

#endif

}  // namespace
}  // namespace vellmora::testing
