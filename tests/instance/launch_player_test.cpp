// InstallerEngine::OpenPie64: what "Abrir agora" and the finish screen's start switch do.

#include <chrono>
#include <thread>

#include "app/path_helpers.h"
#include "app/text.h"
#include "instance/instance_test.h"
#include "instance/product_shortcuts.h"
#include "platform/files.h"
#include "windows/process_control.h"

namespace vellmora::testing {
namespace {

class OpenPie64Test : public InstanceTest {
 protected:
  bool Logged(const std::string& line) { return LogText().find(line) != std::string::npos; }
  bool ShortcutsExist() {
    return Exists(JoinPath(engine_.paths.desktop, kProductShortcutName)) &&
           Exists(JoinPath(engine_.paths.start_menu_folder, kProductShortcutName));
  }
  // The shell's requests for the player (the sim records them; none elsewhere).
  std::vector<std::string> PlayerRequests() {
    std::vector<std::string> requests;
#if VELLMORA_PLATFORM_SIM
    for (const std::string& line : sim::RecordedShellOpens()) {
      if (line.find("Vellmora.exe") != std::string::npos) requests.push_back(line);
    }
#endif
    return requests;
  }
  std::string PlayerRequest(const char* route) {
    return "open|" + ToUtf8(InInstallDir(L"Vellmora.exe")) + "|--instance Pie64|" +
           ToUtf8(engine_.paths.InstallDir()) + "|show=1|" + route;
  }
};

TEST_F(OpenPie64Test, AnUnregisteredInstanceIsNotStarted) {
  WriteInstalledProduct();
  StandInForMachineSteps();
  pie64_registered_ = false;
  engine_.OpenPie64();
  EXPECT_EQ(LogText(), "");
  EXPECT_FALSE(ShortcutsExist());
  EXPECT_TRUE(PlayerRequests().empty());
  EXPECT_TRUE(PlayerStarts(0).empty());
}

TEST_F(OpenPie64Test, ARunningInstanceProcessKeepsItFromStartingAgain) {
  WriteInstalledProduct();
  StandInForMachineSteps();
  const std::size_t server = StartSleeping(InInstallDir(L"KolvSVC.exe"));
  engine_.OpenPie64();
  EXPECT_TRUE(Logged("Pie64 is already running; close it before repairing or reopening the instance."))
      << LogText();
  EXPECT_TRUE(Running(server));
  EXPECT_FALSE(ShortcutsExist());
  EXPECT_TRUE(PlayerRequests().empty());
  EXPECT_TRUE(PlayerStarts(1000).empty());
}

TEST_F(OpenPie64Test, AFailedPreparationStartsNothing) {
  struct Case {
    const char* name;
    const wchar_t* removed;  // below the sandbox's D:\ folder
    const char* line;
  };
  const Case cases[] = {
      {"no host configuration", L"ProgramData\\Vellmora\\VellmoraOX.conf",
       "Pie64 was not started because its launch configuration could not be verified."},
      {"no product logo", L"Vellmora\\ProductLogo.ico",
       "Pie64 was not started because direct Vellmora startup could not be prepared."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteInstalledProduct();
    StandInForMachineSteps();
    ASSERT_EQ(platform::DeleteFileW(JoinPath(machine_.In(L"D"), c.removed)), 0u);
    engine_.OpenPie64();
    EXPECT_TRUE(Logged(c.line)) << LogText();
    EXPECT_FALSE(ShortcutsExist());
    EXPECT_TRUE(PlayerRequests().empty());
  }
}

// The installer runs elevated; the player must not. The desktop's shell starts it as the
// signed-in user, and the installer starts it itself only when no desktop shell takes the request.
TEST_F(OpenPie64Test, ThePreparedPlayerStartsWithPie64ThroughTheDesktopShell) {
  WriteInstalledProduct();
  StandInForMachineSteps();
  ASSERT_TRUE(WriteTestFile(InInstallDir(L"Vellmora-Launcher.exe"), "launcher"));
  engine_.OpenPie64();
  const std::string log = LogText();
  EXPECT_TRUE(ShortcutsExist()) << log;
  EXPECT_FALSE(Exists(InInstallDir(L"Vellmora-Launcher.exe")));
  const std::vector<std::string> starts = PlayerStarts(20000);
  ASSERT_EQ(starts.size(), 1u) << log;
  EXPECT_TRUE(starts[0].ends_with("\" --instance Pie64")) << starts[0];
  if (TestMachine::IsSimulated()) {
    EXPECT_TRUE(Logged("[+] Pie64 was started through the desktop shell as the signed-in user."))
        << log;
    EXPECT_EQ(PlayerRequests(), std::vector<std::string>{PlayerRequest("desktop-user")});
  } else {
    // Which route Wine offers is a fact of the prefix; either way the player was asked for.
    EXPECT_TRUE(Logged("[+] Pie64 was started")) << log;
    const std::size_t warning = log.find("Warning: the desktop shell");
    std::printf("OpenPie64 under this system: %s\n",
                warning == std::string::npos ? "desktop shell"
                                             : log.substr(warning, log.find('\n', warning) - warning).c_str());
  }
}

TEST_F(OpenPie64Test, WithoutADesktopShellTheInstallerStartsThePlayerAndSaysSo) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  WriteInstalledProduct();
  StandInForMachineSteps();
  sim::InjectFault({"desktop_shell", L"*", 1, 0x80004002});
  engine_.OpenPie64();
  EXPECT_TRUE(Logged("Warning: the desktop shell could not start Vellmora as the signed-in user "
                     "(FindWindowSW failed, 0x80004002); the installer asks Windows to start it "
                     "directly."))
      << LogText();
  EXPECT_TRUE(Logged("[+] Pie64 was started."));
  EXPECT_EQ(PlayerRequests(), std::vector<std::string>{PlayerRequest("installer")});
  EXPECT_EQ(PlayerStarts(20000).size(), 1u);

  // When Windows refuses the direct request too, that is the line (once the first player ended).
  for (int i = 0; i < 1000 && AnyNamedProcessUnder(engine_.paths.InstallDir(), {L"Vellmora.exe"}, 0);
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  sim::InjectFault({"desktop_shell", L"*", 1, 0x80004002});
  sim::InjectFault({"shell_execute", L"*", 1, platform::kErrorAccessDenied});
  engine_.OpenPie64();
  EXPECT_TRUE(Logged("Pie64 was not started because Windows rejected the direct Vellmora request."))
      << LogText();
  EXPECT_EQ(PlayerRequests().size(), 1u);
#endif
}

}  // namespace
}  // namespace vellmora::testing
