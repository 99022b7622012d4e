#include "placement/access_control.h"

#include "app/path_helpers.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "placement/placement_test.h"
#include "platform/files.h"
#include "support/log_cursor.h"
#include "windows/product_registry_key.h"

namespace vellmora::testing {
namespace {

constexpr const wchar_t* kLocalSystem = L"S-1-5-18";
constexpr const wchar_t* kAdministrators = L"S-1-5-32-544";
constexpr const wchar_t* kUsers = L"S-1-5-32-545";

TEST(SanitizeToolOutput, LongMultiLineOutputBecomesOneLineOfAtMost3000Bytes) {
  std::string output;
  while (output.size() < 10000) output += "processed file: C:\\x\t\t  y\r\n";
  std::string clean = SanitizeToolOutput("  \n" + output);
  EXPECT_EQ(clean.size(), 3000u);
  EXPECT_EQ(clean.find_first_of("\t\r\n"), std::string::npos);
  EXPECT_EQ(clean.find("  "), std::string::npos);
  EXPECT_EQ(clean.rfind("processed file: C:\\x y processed", 0), 0u);
  EXPECT_EQ(SanitizeToolOutput(" \r\n\t "), "");
}

#if VELLMORA_PLATFORM_SIM

// What a principal may do with a path afterwards: r, w, x or "-" for each.
std::string AccessOf(const platform::Path& path, const std::wstring& sid) {
  sim::Access access = sim::EffectiveAccess(path, sid);
  return std::string(access.read ? "r" : "-") + (access.write ? "w" : "-") +
         (access.execute ? "x" : "-");
}

int IcaclsRuns() {
  int runs = 0;
  for (const auto& process : sim::StartedProcesses()) {
    if (EqualsIgnoringCase(LastComponent(process.image_path), L"icacls.exe")) ++runs;
  }
  return runs;
}

class AccessControlTest : public PlacementTest {
 protected:
  bool Marker(const wchar_t* name) {
    std::uint32_t value = 0;
    return ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, name, &value) && value == 1;
  }
  LogCursor log_;
};

TEST_F(AccessControlTest, ProgramDirectoryIsReadOnlyForUsersWhateverTheDriveRootAllows) {
  const platform::Path dir = engine_.paths.InstallDir();
  WriteTree(dir, {{L"VLMServ.exe", "server"}, {L"KolvC.dll", "lib"}, {L"bin\\Vellmora.exe", "p"}});
  // Below a drive root every signed-in user may modify what is created.
  ASSERT_EQ(AccessOf(JoinPath(dir, L"VLMServ.exe"), sim::MachineUserSid()), "rwx");

  ASSERT_TRUE(SecureProgramFilesRoot(engine_)) << LogText();
  for (const wchar_t* relative : {L"VLMServ.exe", L"KolvC.dll", L"bin\\Vellmora.exe", L"bin"}) {
    const platform::Path path = JoinPath(dir, relative);
    SCOPED_TRACE(ToUtf8(path));
    EXPECT_EQ(AccessOf(path, kLocalSystem), "rwx");
    EXPECT_EQ(AccessOf(path, kAdministrators), "rwx");
    EXPECT_EQ(AccessOf(path, kUsers), "r-x");
    EXPECT_EQ(AccessOf(path, sim::MachineUserSid()), "r-x");
  }
  // A file created later inherits the same.
  ASSERT_TRUE(WriteTestFile(JoinPath(dir, L"bin\\later.dll"), "later"));
  EXPECT_EQ(AccessOf(JoinPath(dir, L"bin\\later.dll"), sim::MachineUserSid()), "r-x");
  EXPECT_TRUE(Marker(L"ProgramFilesAclSecured"));
  EXPECT_NE(log_.NewText().find("ACL [ProgramFiles reset]: target=" + ToUtf8(dir) +
                                ", launched=yes, exitCode=0, win32Error=0"),
            std::string::npos);
  EXPECT_NE(LogText().find("[+] Vellmora runtime permissions secured."), std::string::npos);
}

TEST_F(AccessControlTest, ProgramDirectoryWithALinkInsideGetsNoIcaclsRun) {
  const platform::Path dir = engine_.paths.InstallDir();
  WriteTree(dir, {{L"VLMServ.exe", "server"}});
  WriteTree(machine_.In(L"canary"), {{L"keep.txt", "user"}});
  ASSERT_TRUE(MakeJunction(JoinPath(dir, L"bin"), machine_.In(L"canary")));
  const std::string canary_before = AccessOf(machine_.In(L"canary\\keep.txt"), kUsers);
  const int runs = IcaclsRuns();
  EXPECT_FALSE(SecureProgramFilesRoot(engine_));
  EXPECT_EQ(IcaclsRuns(), runs);
  EXPECT_NE(LogText().find("ACL failure [ProgramFiles unsafe entry]: target=" +
                           ToUtf8(JoinPath(dir, L"bin"))),
            std::string::npos)
      << LogText();
  EXPECT_EQ(AccessOf(machine_.In(L"canary\\keep.txt"), kUsers), canary_before);
  EXPECT_FALSE(Marker(L"ProgramFilesAclSecured"));
}

TEST_F(AccessControlTest, DataDirectoryGivesUsersWriteOnlyWhereTheEngineWrites) {
  const platform::Path root = engine_.paths.DataDir();
  WriteTree(root, {{L"Logs\\", ""},
                   {L"Engine\\UserData\\settings.json", "{}"},
                   {L"Engine\\Pie64\\Root.vhd", "root"},
                   {L"Engine\\Pie64\\Data.vhdx", "data"},
                   {L"Engine\\Manager\\KolvGlobal.xml", "<x/>"},
                   {L"Engine\\bin\\VLMServ.exe", "server"},
                   {L"VellmoraOX.conf", "klv.a=1"},
                   {L"Provisioning\\setup.cfg", "cfg"},
                   {L"installed-engine-package-manifest.json", "{}"},
                   {L"Runtime\\Pellucador_kta5\\x.dll", "x"}});
  ASSERT_TRUE(SecureProgramDataRoot(engine_)) << LogText();
  struct Expected {
    const wchar_t* relative;
    const char* users;
  };
  const Expected table[] = {
      {L"", "r-x"},
      {L"Logs", "rwx"},
      {L"Engine\\UserData\\settings.json", "rwx"},
      {L"Engine\\Pie64\\Data.vhdx", "rwx"},
      {L"Engine\\Pie64\\Root.vhd", "r--"},
      {L"Engine\\Manager\\KolvGlobal.xml", "rwx"},
      {L"Engine\\bin\\VLMServ.exe", "r-x"},
      {L"VellmoraOX.conf", "rwx"},
      {L"Provisioning\\setup.cfg", "r-x"},
      // Endpoint-protected: keeps what it received before activation (here: the root's).
      {L"installed-engine-package-manifest.json", "r-x"},
  };
  for (const Expected& e : table) {
    const platform::Path path = *e.relative ? JoinPath(root, e.relative) : root;
    SCOPED_TRACE(ToUtf8(path));
    EXPECT_EQ(AccessOf(path, kUsers), e.users);
    EXPECT_EQ(AccessOf(path, sim::MachineUserSid()), e.users);
    EXPECT_EQ(AccessOf(path, kLocalSystem).substr(0, 2), "rw");
    EXPECT_EQ(AccessOf(path, kAdministrators).substr(0, 2), "rw");
  }
  EXPECT_TRUE(Marker(L"ProgramDataAclSecured"));
  const std::string diagnostics = log_.NewText();
  EXPECT_NE(diagnostics.find("ACL [Mutable directory grant]: skipped missing target=" +
                             ToUtf8(JoinPath(root, L"Dumps")) + "."),
            std::string::npos);
  // The root is tightened before any child step runs.
  EXPECT_LT(diagnostics.find("ACL [ProgramData least privilege]"),
            diagnostics.find("ACL [ProgramData child inheritance]"));
}

TEST_F(AccessControlTest, PreservedTargetsAreSkippedOnlyOnTheInstalledDataDirectory) {
  WriteTree(engine_.paths.DataDir(), {{L"pellucador.conf", "p"}});
  WriteTree(machine_.In(L"staging"), {{L"pellucador.conf", "p"}});
  ASSERT_TRUE(SecureProgramDataRoot(engine_));
  std::string diagnostics = log_.NewText();
  EXPECT_NE(diagnostics.find("ACL [ProgramData child inheritance]: preserved pre-activation ACL "
                             "for endpoint-protected target=" +
                             ToUtf8(JoinPath(engine_.paths.DataDir(), L"pellucador.conf")) + "."),
            std::string::npos);
  log_.Skip();
  ASSERT_TRUE(SecureProgramDataRoot(engine_, machine_.In(L"staging")));
  diagnostics = log_.NewText();
  EXPECT_NE(diagnostics.find("ACL [ProgramData child inheritance]: target=" +
                             ToUtf8(machine_.In(L"staging\\pellucador.conf")) +
                             ", recursive=no, launched=yes"),
            std::string::npos)
      << diagnostics;
}

// A user who swaps "Logs" for a junction must not receive modify rights on its target.
TEST_F(AccessControlTest, ALinkedEntryOfTheDataDirectoryAndEverythingBelowItGetNoStep) {
  const platform::Path root = engine_.paths.DataDir();
  WriteTree(root, {{L"Engine\\Pie64\\Root.vhd", "root"}, {L"Dumps\\", ""}});
  WriteTree(machine_.In(L"canary"), {{L"Pie64\\Root.vhd", "elsewhere"}, {L"secret.txt", "s"}});
  ASSERT_TRUE(MakeJunction(JoinPath(root, L"Logs"), machine_.In(L"canary")));
  WriteTree(machine_.In(L"linkdir"), {{L"a.txt", "a"}});
  RemoveTestTree(JoinPath(root, L"Engine\\Pie64"));
  ASSERT_TRUE(MakeJunction(JoinPath(root, L"Engine\\Pie64"), machine_.In(L"canary\\Pie64")));
  const std::string before = AccessOf(machine_.In(L"canary\\secret.txt"), kUsers);
  const std::string before_vhd = AccessOf(machine_.In(L"canary\\Pie64\\Root.vhd"), kUsers);

  EXPECT_FALSE(SecureProgramDataRoot(engine_));
  EXPECT_EQ(AccessOf(machine_.In(L"canary\\secret.txt"), kUsers), before);
  EXPECT_EQ(AccessOf(machine_.In(L"canary\\Pie64\\Root.vhd"), kUsers), before_vhd);
  EXPECT_EQ(AccessOf(JoinPath(root, L"Dumps"), kUsers), "rwx");  // the other children still
  const std::string log = LogText();
  EXPECT_NE(log.find("ACL failure [ProgramData traversal]: target=" +
                     ToUtf8(JoinPath(root, L"Engine")) + ", error=Operation not permitted (1)."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Warning: not all ProgramData permissions could be secured."),
            std::string::npos);
  EXPECT_FALSE(Marker(L"ProgramDataAclSecured"));
}

TEST_F(AccessControlTest, ADataRootThatIsAJunctionFailsValidationWithoutAnyRun) {
  WriteTree(machine_.In(L"elsewhere"), {{L"x.txt", "x"}});
  ASSERT_TRUE(MakeJunction(engine_.paths.DataDir(), machine_.In(L"elsewhere")));
  const int runs = IcaclsRuns();
  EXPECT_FALSE(SecureProgramDataRoot(engine_));
  EXPECT_EQ(IcaclsRuns(), runs);
  EXPECT_NE(LogText().find("ACL failure [ProgramData validation]: target=" +
                           ToUtf8(engine_.paths.DataDir()) + ", attributes=1040, win32Error=0."),
            std::string::npos)
      << LogText();
}

TEST_F(AccessControlTest, PerUserTreeIsWalkedBeforeItsRecursiveRuns) {
  const platform::Path target = JoinPath(engine_.paths.local_app_data, L"DO-Rarari_ovm5");
  EXPECT_FALSE(SecureLocalAppDataRoot(engine_));
  EXPECT_NE(LogText().find("ACL failure [LocalAppData validation]: target=" + ToUtf8(target)),
            std::string::npos);

  WriteTree(target, {{L"cache\\a.bin", "a"}});
  ASSERT_TRUE(SecureLocalAppDataRoot(engine_)) << LogText();
  EXPECT_EQ(AccessOf(JoinPath(target, L"cache\\a.bin"), sim::MachineUserSid()).substr(0, 2), "rw");
  EXPECT_NE(LogText().find("[+] Local cache permissions restored for the desktop user."),
            std::string::npos);

  WriteTree(machine_.In(L"canary"), {{L"keep.txt", "k"}});
  ASSERT_TRUE(MakeJunction(JoinPath(target, L"cache\\link"), machine_.In(L"canary")));
  const int runs = IcaclsRuns();
  EXPECT_FALSE(SecureLocalAppDataRoot(engine_));
  EXPECT_EQ(IcaclsRuns(), runs);
  EXPECT_NE(LogText().find("ACL failure [LocalAppData traversal]: target=" +
                           ToUtf8(JoinPath(target, L"cache\\link"))),
            std::string::npos);
}

TEST_F(AccessControlTest, AFailingIcaclsIsReportedAndLeavesNoMarker) {
  WriteTree(engine_.paths.InstallDir(), {{L"VLMServ.exe", "server"}});
  WriteTree(JoinPath(engine_.paths.local_app_data, L"DO-Rarari_ovm5"), {{L"a", "a"}});
  sim::SetSystemToolFailure(L"icacls.exe", {0, 5, false});
  EXPECT_FALSE(SecureProgramFilesRoot(engine_));
  EXPECT_FALSE(SecureLocalAppDataRoot(engine_));
  sim::SetSystemToolFailure(L"icacls.exe", {});
  const std::string log = LogText();
  EXPECT_NE(log.find("ACL failure [ProgramFiles reset]. See the diagnostic log for the Windows "
                     "response."),
            std::string::npos);
  EXPECT_NE(log.find("Failed to secure the Vellmora runtime permissions."), std::string::npos);
  EXPECT_NE(log.find("ACL failure [LocalAppData inheritance]."), std::string::npos);
  EXPECT_EQ(log.find("ACL failure [LocalAppData reset]"), std::string::npos);
  EXPECT_NE(log.find("Failed to restore the LocalAppData cache permissions."), std::string::npos);
  EXPECT_NE(log_.NewText().find("exitCode=5, win32Error=0"), std::string::npos);
  EXPECT_FALSE(Marker(L"ProgramFilesAclSecured"));
}

#endif

}  // namespace
}  // namespace vellmora::testing
