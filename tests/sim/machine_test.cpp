// The machine's settings: machine.ini, the sim controls that change it, and what the seam reports
// from it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/paths.h"
#include "platform/security.h"
#include "platform/network.h"
#include "platform/files.h"
#include "platform/sim/sim_control.h"
#include "platform/system.h"
#include "platform/volumes.h"
#include "support/test_machine.h"

namespace {

using namespace platform;
using vellmora::testing::TestMachine;
namespace fs = std::filesystem;

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Serves the same machine again, as a process started now would see it.
void RestartOn(const TestMachine& machine) { sim::UseMachine(machine.SimRoot()); }

class SimMachine : public ::testing::Test {
 protected:
  // A second machine with options of its own, removed with the fixture.
  std::string CreateCustom(const sim::MachineOptions& options) {
    custom_ = machine_.SimRoot() + "-custom";
    EXPECT_TRUE(sim::CreateMachine(custom_, options));
    sim::UseMachine(custom_);
    return custom_;
  }
  void TearDown() override {
    if (custom_.empty()) return;
    RestartOn(machine_);  // the fixture's machine cleans up after itself
    fs::remove_all(custom_);
  }

  TestMachine machine_;
  std::string custom_;
};

TEST_F(SimMachine, TheDefaultMachineIsAnOrdinaryWindowsInstall) {
  for (const wchar_t* folder : {L"C:\\Windows\\System32", L"C:\\Program Files",
                                L"C:\\Program Files (x86)", L"C:\\ProgramData",
                                L"C:\\Users\\vellmora\\AppData\\Local\\Temp",
                                L"C:\\Users\\vellmora\\Desktop"}) {
    EXPECT_NE(GetFileAttributesW(folder) & kAttributeDirectory, 0u) << folder;
  }
  std::vector<Path> roots;
  ASSERT_EQ(GetLogicalDriveStringsW(&roots), kErrorSuccess);
  EXPECT_EQ(roots, (std::vector<Path>{L"C:\\", L"D:\\", L"E:\\", L"Z:\\"}));
  EXPECT_EQ(GetDriveTypeW(L"D:\\"), kDriveFixed);
  EXPECT_EQ(GetDriveTypeW(L"E:\\"), kDriveRemovable);
  EXPECT_EQ(GetDriveTypeW(L"Z:\\"), kDriveRemote);
  EXPECT_EQ(GetDriveTypeW(L"C:\\Windows\\"), kDriveNoRootDir);
  EXPECT_EQ(GetTempPathW(), L"C:\\Users\\vellmora\\AppData\\Local\\Temp\\");
  Path programs;
  ASSERT_EQ(SHGetKnownFolderPath(KnownFolder::kPrograms, false, &programs), kErrorSuccess);
  EXPECT_EQ(programs,
            L"C:\\Users\\vellmora\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs");
  std::wstring value;
  ASSERT_EQ(GetEnvironmentVariableW(L"programw6432", &value), kErrorSuccess);
  EXPECT_EQ(value, L"C:\\Program Files");
  bool elevated = false;
  ASSERT_EQ(GetTokenElevation(&elevated), kErrorSuccess);
  EXPECT_TRUE(elevated);
}

TEST_F(SimMachine, CreateOptionsShapeTheMachine) {
  sim::MachineOptions options;
  options.user = "Ana Maria";
  options.elevated = false;
  options.drives = {{'C', "fixed", 1000}, {'F', "cdrom", 0}, {'R', "ramdisk", 77}};
  options.tcp_listeners = {5037};
  CreateCustom(options);

  std::vector<Path> roots;
  ASSERT_EQ(GetLogicalDriveStringsW(&roots), kErrorSuccess);
  EXPECT_EQ(roots, (std::vector<Path>{L"C:\\", L"F:\\", L"R:\\"}));
  EXPECT_EQ(GetDriveTypeW(L"F:\\"), kDriveCdrom);
  EXPECT_EQ(GetDriveTypeW(L"R:"), kDriveRamdisk);
  EXPECT_EQ(GetDriveTypeW(L"D:\\"), kDriveNoRootDir);
  std::uint64_t free_bytes = 0;
  ASSERT_EQ(GetDiskFreeSpaceExW(L"R:\\", &free_bytes), kErrorSuccess);
  EXPECT_EQ(free_bytes, 77u);
  bool elevated = true;
  ASSERT_EQ(GetTokenElevation(&elevated), kErrorSuccess);
  EXPECT_FALSE(elevated);
  std::vector<std::uint16_t> ports;
  ASSERT_EQ(GetTcpListenerPorts(&ports), kErrorSuccess);
  EXPECT_EQ(ports, std::vector<std::uint16_t>{5037});
  Path profile;
  ASSERT_EQ(SHGetKnownFolderPath(KnownFolder::kProfile, false, &profile), kErrorSuccess);
  EXPECT_EQ(profile, L"C:\\Users\\Ana Maria");
  EXPECT_NE(GetFileAttributesW(L"C:\\Users\\Ana Maria\\AppData\\Local\\Temp"),
            kInvalidFileAttributes);
}

TEST_F(SimMachine, CreateRefusesMachinesItCannotMakeAndFoldersThatAreNotMachines) {
  sim::MachineOptions no_c;
  no_c.drives = {{'D', "fixed", 1}};
  EXPECT_FALSE(sim::CreateMachine(machine_.SimRoot() + "-no-c", no_c));
  sim::MachineOptions twice;
  twice.drives = {{'C', "fixed", 1}, {'C', "removable", 1}};
  EXPECT_FALSE(sim::CreateMachine(machine_.SimRoot() + "-twice", twice));

  std::string precious = machine_.SimRoot() + "-precious";
  fs::create_directories(precious);
  std::ofstream(precious + "/notes.txt") << "keep me";
  EXPECT_FALSE(sim::CreateMachine(precious));
  EXPECT_TRUE(fs::exists(precious + "/notes.txt"));
  fs::remove_all(precious);

  // Re-creating a machine discards what it held.
  ASSERT_EQ(CreateDirectoryW(L"C:\\Sandbox\\Old"), kErrorSuccess);
  ASSERT_TRUE(sim::CreateMachine(machine_.SimRoot()));
  RestartOn(machine_);
  EXPECT_EQ(GetFileAttributesW(L"C:\\Sandbox"), kInvalidFileAttributes);
}

TEST_F(SimMachine, SettingsAreWrittenToMachineIniForEveryProcess) {
  sim::SetElevated(false);
  sim::SetFreeBytes('D', 12345);
  sim::SetTcpListeners({80, 443});
  std::string ini = ReadHostFile(machine_.SimRoot() + "/machine.ini");
  EXPECT_NE(ini.find("elevated = no"), std::string::npos);
  EXPECT_NE(ini.find("D = fixed 12345"), std::string::npos);
  EXPECT_NE(ini.find("tcp_listeners = 80 443"), std::string::npos);

  RestartOn(machine_);
  bool elevated = true;
  ASSERT_EQ(GetTokenElevation(&elevated), kErrorSuccess);
  EXPECT_FALSE(elevated);
  std::uint64_t free_bytes = 0;
  ASSERT_EQ(GetDiskFreeSpaceExW(L"D:\\", &free_bytes), kErrorSuccess);
  EXPECT_EQ(free_bytes, 12345u);
  std::vector<std::uint16_t> ports;
  ASSERT_EQ(GetTcpListenerPorts(&ports), kErrorSuccess);
  EXPECT_EQ(ports, (std::vector<std::uint16_t>{80, 443}));
}

TEST_F(SimMachine, AHandWrittenMachineIniIsReadWithoutAStampLine) {
  std::string ini = ReadHostFile(machine_.SimRoot() + "/machine.ini");
  ini.erase(0, ini.find('\n') + 1);  // the stamp line
  size_t elevated = ini.find("elevated = yes");
  ASSERT_NE(elevated, std::string::npos);
  ini.replace(elevated, 14, "elevated = no");
  std::ofstream(machine_.SimRoot() + "/machine.ini", std::ios::trunc) << ini;
  bool value = true;
  ASSERT_EQ(GetTokenElevation(&value), kErrorSuccess);
  EXPECT_FALSE(value);
}

TEST_F(SimMachine, AKnownFolderCanBeMissingOrUndefined) {
  Path desktop;
  ASSERT_EQ(SHGetKnownFolderPath(KnownFolder::kDesktop, false, &desktop), kErrorSuccess);
  fs::remove_all(sim::HostPathOf(desktop));
  Path path;
  EXPECT_EQ(SHGetKnownFolderPath(KnownFolder::kDesktop, false, &path), kErrorFileNotFound);
  ASSERT_EQ(SHGetKnownFolderPath(KnownFolder::kDesktop, true, &path), kErrorSuccess);
  EXPECT_EQ(path, desktop);
  EXPECT_NE(GetFileAttributesW(desktop) & kAttributeDirectory, 0u);

  sim::SetKnownFolder(KnownFolder::kPrograms, L"");
  EXPECT_EQ(SHGetKnownFolderPath(KnownFolder::kPrograms, true, &path), kErrorFileNotFound);
  sim::SetKnownFolder(KnownFolder::kPrograms, L"D:\\Start\\Programs");
  ASSERT_EQ(SHGetKnownFolderPath(KnownFolder::kPrograms, true, &path), kErrorSuccess);
  EXPECT_EQ(path, L"D:\\Start\\Programs");
  EXPECT_NE(ReadHostFile(machine_.SimRoot() + "/machine.ini").find("Programs = D:\\Start"),
            std::string::npos);
}

TEST_F(SimMachine, EachProcessStartsWithTheMachineEnvironmentAndKeepsItsOwnChanges) {
  std::wstring mine = L"mine";
  ASSERT_EQ(SetEnvironmentVariableW(L"VELLMORA_LOCAL", &mine), kErrorSuccess);
  std::wstring shared = L"for children";
  sim::SetMachineEnvironmentVariable(L"VELLMORA_SHARED", &shared);
  std::wstring value;
  EXPECT_EQ(GetEnvironmentVariableW(L"VELLMORA_SHARED", &value), kErrorEnvvarNotFound);

  RestartOn(machine_);
  EXPECT_EQ(GetEnvironmentVariableW(L"VELLMORA_LOCAL", &value), kErrorEnvvarNotFound);
  ASSERT_EQ(GetEnvironmentVariableW(L"vellmora_shared", &value), kErrorSuccess);
  EXPECT_EQ(value, L"for children");
  sim::SetMachineEnvironmentVariable(L"Vellmora_Shared", nullptr);
  RestartOn(machine_);
  EXPECT_EQ(GetEnvironmentVariableW(L"VELLMORA_SHARED", &value), kErrorEnvvarNotFound);
}

TEST_F(SimMachine, TheTemporaryPathFollowsTmpThenTemp) {
  std::wstring tmp = L"D:\\Scratch";
  ASSERT_EQ(SetEnvironmentVariableW(L"TMP", &tmp), kErrorSuccess);
  EXPECT_EQ(GetTempPathW(), L"D:\\Scratch\\");
  ASSERT_EQ(SetEnvironmentVariableW(L"TMP", nullptr), kErrorSuccess);
  std::wstring temp = L"C:\\Temp\\";
  ASSERT_EQ(SetEnvironmentVariableW(L"TEMP", &temp), kErrorSuccess);
  EXPECT_EQ(GetTempPathW(), L"C:\\Temp\\");
}

TEST_F(SimMachine, DebugOutputIsAppendedToItsFile) {
  OutputDebugStringA("first line\n");
  OutputDebugStringA("second");
  EXPECT_EQ(ReadHostFile(machine_.SimRoot() + "/debug-output.txt"), "first line\nsecond");
}

TEST_F(SimMachine, UseMachineTellsChildProcessesWhichMachineToUse) {
  const char* variable = std::getenv("VELLMORA_SIM_MACHINE");
  ASSERT_NE(variable, nullptr);
  EXPECT_EQ(std::string(variable), machine_.SimRoot());
}

using SimMachineDeathTest = SimMachine;

TEST_F(SimMachineDeathTest, AnUnreadableMachineIniEndsTheProcessNamingTheLine) {
  std::string broken = CreateCustom({});
  std::ofstream(broken + "/machine.ini", std::ios::trunc) << "[machine]\nuser = x\nbogus = 1\n";
  EXPECT_DEATH(
      {
        sim::UseMachine(broken);
        GetTempPathW();
      },
      "machine.ini line 3: unknown setting bogus");
  RestartOn(machine_);
}

TEST(SimNoMachineDeathTest, APlatformCallWithoutAMachineNamesTheVariable) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  unsetenv("VELLMORA_SIM_MACHINE");
  EXPECT_DEATH(GetFileAttributesW(L"C:\\"), "VELLMORA_SIM_MACHINE");
}

}  // namespace
