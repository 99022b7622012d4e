#include "instance/instance_test.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/sync.h"
#include "support/child_process.h"
#include "windows/process_control.h"

namespace vellmora::testing {
namespace {

std::string ChildToolBytes() {
  std::ifstream in(BuiltExecutable(VELLMORA_CHILD_TOOL_EXE), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

InstallationProbes ProbesOf(const bool* engine_installed, const bool* pie64_registered) {
  InstallationProbes probes;
  probes.engine_installed = [engine_installed](const InstallerEngine&) { return *engine_installed; };
  probes.pie64_registered = [pie64_registered](const InstallerEngine&) { return *pie64_registered; };
  probes.registered_installation = [](const InstallerEngine&) { return false; };
  return probes;
}

DirectStartSteps::Step TestStep(const char* name) {
  return [name](InstallerEngine& engine) {
    ReportLog(engine, std::string("test step: ") + name + ".");
    return true;
  };
}

}  // namespace

InstanceTest::InstanceTest() : engine_(ProbesOf(&engine_installed_, &pie64_registered_)) {
#if VELLMORA_PLATFORM_SIM
  sim::UseFakeClock(true);
#endif
  engine_.paths.install_base = machine_.In(L"D");
  engine_.paths.data_base = machine_.In(L"D\\ProgramData");
  engine_.paths.local_app_data = machine_.In(L"C\\Users\\ana\\AppData\\Local");
  engine_.paths.desktop = machine_.In(L"C\\Users\\ana\\Desktop");
  engine_.paths.start_menu_folder = machine_.In(L"C\\Users\\ana\\Start Menu\\Programs\\Vellmora");
  for (const platform::Path& path : {engine_.paths.InstallDir(), engine_.paths.DataDir(),
                                     engine_.paths.local_app_data, engine_.paths.desktop}) {
    MakeTestDirectories(path);
  }
}

InstanceTest::~InstanceTest() {
  for (auto& process : started_) {
    platform::TerminateProcess(process.process.Get(), 0);
    platform::WaitForSingleObject(process.process.Get(), 5000);
  }
  DirectStartStepsInUse() = DefaultDirectStartSteps();
#if VELLMORA_PLATFORM_SIM
  sim::UseFakeClock(false);
#endif
}

void InstanceTest::WritePlayer() {
  std::ifstream in(std::string(VELLMORA_STANDINS_DIR) + "/Vellmora.exe", std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  ASSERT_FALSE(bytes.str().empty()) << "the player stand-in is not built";
  ASSERT_TRUE(WriteTestFile(InInstallDir(L"Vellmora.exe"), bytes.str()));
}

std::vector<std::string> InstanceTest::PlayerStarts(int wait_ms) {
  const platform::Path record = InInstallDir(L"player-starts.txt");
  std::string text;
  // The player creates the record before it writes its line: wait for a complete line.
  for (int waited = 0; waited < wait_ms; waited += 50) {
    if (ReadTestFile(record, &text) && !text.empty() && text.back() == '\n') break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ReadTestFile(record, &text);
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void InstanceTest::WriteInstalledProduct() {
  WritePlayer();
  ASSERT_TRUE(WriteTestFile(InInstallDir(L"ProductLogo.ico"), "icon"));
  const platform::Path cache =
      JoinPath(engine_.paths.local_app_data, L"DO-Rarari_ovm5\\cache\\qmlcache");
  MakeTestDirectories(cache);
  for (const wchar_t* name : {L"08523e4e67271599f5bb2e57c07b4108dc314c3d.qmlc",
                              L"755080695C2EB9FE522A948F55FB7FB092A25767.qmlc"}) {
    ASSERT_TRUE(WriteTestFile(JoinPath(cache, name), "qmlc"));
  }
  ASSERT_TRUE(WriteTestFile(JoinPath(engine_.paths.DataDir(), L"VellmoraOX.conf"),
                            "klv.status.hypervisor=\"hyperv\"\r\nklv.adb_port=\"5565\"\r\n"));
}

std::size_t InstanceTest::StartSleeping(const platform::Path& path) {
  MakeTestDirectories(ParentPath(path));
  EXPECT_TRUE(WriteTestFile(path, ChildToolBytes()));
  platform::ProcessInformation information;
  EXPECT_EQ(platform::CreateProcessW(QuoteArgument(path) + L" sleep 60000", false,
                                     platform::kCreateNoWindow, {}, &information),
            0u);
  started_.push_back(std::move(information));
  // Until the snapshot shows it with its image path, the process is still being set up.
  const ProcessNames name = {LastComponent(path)};
  for (int i = 0; i < 500 && !AnyNamedProcessUnder(ParentPath(path), name, 0); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return started_.size() - 1;
}

bool InstanceTest::Running(std::size_t index) {
  return platform::WaitForSingleObject(started_[index].process.Get(), 0) == platform::kWaitTimeout;
}

void InstanceTest::StandInForMachineSteps() {
  DirectStartSteps& steps = DirectStartStepsInUse();
  steps.ensure_com_registration = TestStep("COM registration checked");
  steps.register_com_components = TestStep("COM components registered");
#if !VELLMORA_PLATFORM_SIM
  steps.configure_virtualization_backend = TestStep("virtualization backend configured");
#endif
}

platform::Path InstanceTest::InInstallDir(const wchar_t* name) const {
  return JoinPath(engine_.paths.InstallDir(), name);
}

bool InstanceTest::Exists(const platform::Path& path) {
  platform::FileStatus status;
  return platform::GetFileStatus(path, &status) == platform::kErrorSuccess;
}

std::string InstanceTest::LogText() {
  std::string text;
  for (const std::string& line : engine_.TakeSnapshot().log_lines) text += line + "\n";
  return text;
}

}  // namespace vellmora::testing
