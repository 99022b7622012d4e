// The machine's icacls.exe and its access-list model: the command lines the installer runs, judged
// by what they let each group do afterwards.

#include <gtest/gtest.h>

#include <string>

#include "app/installer_engine.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "package/run_captured.h"
#include "platform/files.h"
#include "platform/security.h"
#include "platform/sim/sim_control.h"
#include "support/test_machine.h"

namespace {

using vellmora::testing::MakeTestDirectories;
using vellmora::testing::TestMachine;
using vellmora::testing::WriteTestFile;

constexpr const wchar_t* kUsers = L"S-1-5-32-545";
constexpr const wchar_t* kLeastPrivilege =
    L"/inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F "
    L"*S-1-5-32-545:(OI)(CI)RX";

class SimIcacls : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakeTestDirectories(L"C:\\Data\\Logs\\Old"));
    ASSERT_TRUE(MakeTestDirectories(L"C:\\Data\\Engine"));
    ASSERT_TRUE(WriteTestFile(L"C:\\Data\\Logs\\today.txt", "log"));
    ASSERT_TRUE(WriteTestFile(L"C:\\Data\\VellmoraOX.conf", "klv.a=1"));
    ASSERT_TRUE(WriteTestFile(L"C:\\Data\\Engine\\Root.vhd", "disk"));
  }

  // Runs icacls from the system folder on target with arguments; its exit code.
  std::uint32_t Icacls(const std::wstring& target, const std::wstring& arguments,
                       std::string* output = nullptr) {
    std::uint32_t exit_code = 0;
    std::string text;
    bool ran =
        vellmora::RunCaptured(engine_,
                              vellmora::QuoteArgument(vellmora::System32Dir() + L"\\icacls.exe") +
                                  L" " + vellmora::QuoteArgument(target) + L" " + arguments,
                              30000, &exit_code, &text);
    EXPECT_TRUE(ran);
    if (output) *output = text;
    return exit_code;
  }

  static bool UsersMayWrite(const std::wstring& path) {
    return sim::EffectiveAccess(path, kUsers).write;
  }
  static bool UsersMayRead(const std::wstring& path) {
    sim::Access access = sim::EffectiveAccess(path, kUsers);
    return access.read && access.execute;
  }

  TestMachine machine_;
  vellmora::InstallerEngine engine_;
};

TEST_F(SimIcacls, TheDataPlanLeavesUsersWritingOnlyWhereItSays) {
  // Before: what C:\ passes down lets every signed-in user modify the tree.
  EXPECT_TRUE(sim::EffectiveAccess(L"C:\\Data\\Engine\\Root.vhd", sim::MachineUserSid()).write);

  ASSERT_EQ(Icacls(L"C:\\Data", std::wstring(kLeastPrivilege) + L" /Q"), 0u);
  ASSERT_EQ(Icacls(L"C:\\Data\\Logs", L"/grant:r *S-1-5-32-545:(OI)(CI)M /Q"), 0u);
  ASSERT_EQ(Icacls(L"C:\\Data\\VellmoraOX.conf", L"/grant:r *S-1-5-32-545:M /Q"), 0u);
  ASSERT_EQ(Icacls(L"C:\\Data\\Engine\\Root.vhd",
                   L"/inheritance:r /grant:r *S-1-5-18:F *S-1-5-32-544:F *S-1-5-32-545:R /Q"),
            0u);

  struct Case {
    const wchar_t* path;
    bool read_execute;
    bool write;
  };
  const Case cases[] = {
      {L"C:\\Data", true, false},           {L"C:\\Data\\Engine", true, false},
      {L"C:\\Data\\Logs", true, true},      {L"C:\\Data\\Logs\\today.txt", true, true},
      {L"C:\\Data\\Logs\\Old", true, true}, {L"C:\\Data\\VellmoraOX.conf", true, true},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(vellmora::ToUtf8(test.path));
    EXPECT_EQ(UsersMayRead(test.path), test.read_execute);
    EXPECT_EQ(UsersMayWrite(test.path), test.write);
    EXPECT_FALSE(sim::EffectiveAccess(test.path, sim::MachineUserSid()).write && !test.write)
        << "no group of the user's token may write where Users may not";
  }
  sim::Access disk = sim::EffectiveAccess(L"C:\\Data\\Engine\\Root.vhd", kUsers);
  EXPECT_TRUE(disk.read);
  EXPECT_FALSE(disk.write);
  EXPECT_FALSE(disk.execute) << "R is read only";
  EXPECT_TRUE(sim::EffectiveAccess(L"C:\\Data\\Engine\\Root.vhd", L"S-1-5-18").write);

  // A file created afterwards inherits the least-privilege grant.
  ASSERT_TRUE(WriteTestFile(L"C:\\Data\\Engine\\new.txt", "x"));
  EXPECT_TRUE(UsersMayRead(L"C:\\Data\\Engine\\new.txt"));
  EXPECT_FALSE(UsersMayWrite(L"C:\\Data\\Engine\\new.txt"));
}

TEST_F(SimIcacls, ResetAndInheritanceGiveTheParentsAccessBack) {
  ASSERT_EQ(Icacls(L"C:\\Data", std::wstring(kLeastPrivilege) + L" /T /C /Q"), 0u);
  EXPECT_FALSE(UsersMayWrite(L"C:\\Data\\Logs\\today.txt"));
  sim::AccessList list;
  ASSERT_TRUE(sim::EffectiveAccessList(L"C:\\Data\\Logs\\today.txt", &list));
  EXPECT_TRUE(list.protected_dacl) << "/T applies the change to every entry";

  // /reset drops explicit entries of the whole tree: everything inherits from C:\Data again.
  ASSERT_EQ(Icacls(L"C:\\Data\\Logs", L"/reset /T /C /Q"), 0u);
  ASSERT_TRUE(sim::EffectiveAccessList(L"C:\\Data\\Logs\\today.txt", &list));
  EXPECT_FALSE(list.protected_dacl);
  for (const sim::AccessEntry& entry : list.entries) EXPECT_TRUE(entry.flags & 0x10);
  EXPECT_TRUE(UsersMayRead(L"C:\\Data\\Logs\\today.txt"));
  EXPECT_FALSE(UsersMayWrite(L"C:\\Data\\Logs\\today.txt"));

  // /inheritance:e on a root that was cut off lets C:\ pass its access down again.
  ASSERT_EQ(Icacls(L"C:\\Data", L"/reset /Q"), 0u);
  ASSERT_EQ(Icacls(L"C:\\Data", L"/inheritance:e /Q"), 0u);
  EXPECT_TRUE(sim::EffectiveAccess(L"C:\\Data\\Logs\\today.txt", sim::MachineUserSid()).write);

  // /inheritance:d keeps what was inherited as explicit entries.
  ASSERT_EQ(Icacls(L"C:\\Data\\Engine", L"/reset /Q"), 0u);
  ASSERT_EQ(Icacls(L"C:\\Data\\Engine", L"/inheritance:d /Q"), 0u);
  ASSERT_TRUE(sim::EffectiveAccessList(L"C:\\Data\\Engine", &list));
  EXPECT_TRUE(list.protected_dacl);
  EXPECT_TRUE(sim::EffectiveAccess(L"C:\\Data\\Engine", sim::MachineUserSid()).write);
}

TEST_F(SimIcacls, ErrorsAndBadCommandLinesAreReportedAsWindowsDoes) {
  std::string output;
  EXPECT_EQ(Icacls(L"C:\\Data\\missing", L"/reset /Q", &output), 2u);
  EXPECT_NE(output.find("C:\\Data\\missing: The system cannot find the file specified."),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("Successfully processed 0 files; Failed processing 1 files"),
            std::string::npos);
  EXPECT_EQ(Icacls(L"C:\\Data", L"/grant:r *S-1-5-32-545:(OI)(CI)Q", &output), 87u);
  EXPECT_EQ(Icacls(L"C:\\Data", L"/frobnicate", &output), 87u);
  EXPECT_NE(output.find("Invalid parameter"), std::string::npos);
}

TEST_F(SimIcacls, ARecursiveRunNeverChangesThroughALink) {
  ASSERT_TRUE(MakeTestDirectories(L"C:\\Outside"));
  ASSERT_EQ(platform::CreateJunction(L"C:\\Data\\Engine\\link", L"C:\\Outside"), 0u);
  ASSERT_EQ(Icacls(L"C:\\Data", std::wstring(kLeastPrivilege) + L" /T /C /Q"), 0u);
  EXPECT_TRUE(sim::EffectiveAccess(L"C:\\Outside", sim::MachineUserSid()).write);
}

TEST_F(SimIcacls, ToldToFailItFailsWithoutChangingAnything) {
  sim::SetSystemToolFailure(L"icacls.exe", {0, 5, false});
  EXPECT_EQ(Icacls(L"C:\\Data", std::wstring(kLeastPrivilege) + L" /Q"), 5u);
  EXPECT_TRUE(sim::EffectiveAccess(L"C:\\Data", sim::MachineUserSid()).write);

  sim::SetSystemToolFailure(L"ICACLS.EXE", {1314, 0, false});
  std::uint32_t exit_code = 0;
  platform::Win32Error error = 0;
  EXPECT_FALSE(vellmora::RunCaptured(engine_,
                                     L"\"C:\\Windows\\System32\\icacls.exe\" C:\\Data /reset", 1000,
                                     &exit_code, nullptr, &error));
  EXPECT_EQ(error, 1314u);
  sim::SetSystemToolFailure(L"icacls.exe", {});
  EXPECT_EQ(Icacls(L"C:\\Data", L"/reset /Q"), 0u);
}

TEST_F(SimIcacls, TheProcessTableNamesEachProgramByItsWindowsPath) {
  ASSERT_EQ(Icacls(L"C:\\Data", L"/reset /Q"), 0u);
  std::vector<sim::StartedProcess> started = sim::StartedProcesses();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].image_path, L"C:\\Windows\\System32\\icacls.exe");
  EXPECT_FALSE(started[0].running);
  EXPECT_NE(started[0].process_id, 0u);
}

}  // namespace
