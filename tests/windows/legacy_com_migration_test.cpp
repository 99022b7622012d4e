#include "windows/legacy_com_migration.h"

#include <fstream>
#include <functional>
#include <iterator>

#include "app/path_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/security.h"
#include "windows/administrator_only_access.h"
#include "windows/com_server_registration.h"
#include "windows/com_registration_fixture.h"

namespace vellmora::testing {
namespace {

const LegacyComClassPath& Row(std::size_t index) { return LegacyComClassPaths()[index]; }

TEST(LegacyValueMatchesTest, TheProductsOwnPathsInEveryFormTheyWereWritten) {
  TestMachine machine;
  const Path dir = L"D:\\Vellmora";
  struct Case {
    std::wstring value;
    std::size_t row;
    bool matches;
  };
  const Case cases[] = {
      {L"\"D:\\Vellmora\\KolvSVC.exe\"", 0, true},
      {L"\"d:\\vellmora\\kolvsvc.EXE\" -EMBEDDING", 0, true},
      {L"\"D:\\Vellmora\\KolvSVC.exe\" -Automation", 0, false},
      {L"D:\\Vellmora\\KolvSVC.exe", 0, false},  // the server row is quoted
      {L"D:\\Vellmora\\KolvC.dll", 1, true},
      {L"\"D:\\Vellmora\\KolvC.dll\"", 1, false},
      {L"D:\\Vellmora\\KolvProxyStub.dll", 4, true},
      {L"D:\\Vellmora", 5, true},
      {L"D:\\Vellmora\\", 5, true},  // a help directory with a trailing backslash is the same
      {L"D:\\Vellmora2", 5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.value));
    EXPECT_EQ(LegacyValueMatches(c.value, dir, Row(c.row)), c.matches);
  }
}

TEST(ValuePointsIntoDirectoryTest, OnlyAbsolutePathsAtOrBelowTheDirectory) {
  TestMachine machine;
  const Path dir = L"D:\\Vellmora";
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"\"D:\\Vellmora\\Other.exe\" -Embedding", true},
      {L"D:\\VELLMORA\\sub\\x.dll", true},
      {L"D:\\Vellmora", true},
      {L"D:\\Vellmora2\\KolvC.dll", false},
      {L"\"D:\\Vellmora\\unterminated", false},
      {L"Vellmora\\KolvC.dll", false},
      {L"E:\\Pellucador_kta5\\KolvC.dll", false},
  };
  for (const auto& [value, inside] : cases) {
    SCOPED_TRACE(ToUtf8(value));
    EXPECT_EQ(ValuePointsIntoDirectory(value, dir), inside);
  }
}

TEST(SddlAllowsOnlyAdministratorsToModifyTest, AnyoneElseWhoMayWriteOrOwnsIsRefused) {
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", true},
      {L"O:SYG:SYD:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;WD)", true},
      // Inherit-only entries do not apply to the object itself.
      {L"O:BAD:(A;OICIIO;GA;;;CO)(A;;FA;;;BA)(A;;0x1200a9;;;BU)", true},
      {L"O:BAD:(A;OICIID;0x1301bf;;;AU)(A;;FA;;;BA)", false},
      {L"O:BAD:(A;;FA;;;BA)(A;;DC;;;BU)", false},  // may add a file (plant a DLL)
      {L"O:BAD:(A;;FA;;;BA)(A;;WD;;;WD)", false},
      {L"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;BA)", false},  // a user owns it
      {L"O:BAD:NO_ACCESS_CONTROL", false},
      {L"O:BA", false},
      {L"O:BAD:(A;;0x40000000;;;S-1-5-21-1-2-3-1001)", false},
  };
  for (const auto& [sddl, safe] : cases) {
    SCOPED_TRACE(ToUtf8(sddl));
    EXPECT_EQ(SddlAllowsOnlyAdministratorsToModify(sddl), safe);
  }
}

// A machine that carries the side-by-side edition: its root with its three binaries, registered
// in HKLM\SOFTWARE\Pellucador_kta5, and the shared class paths. The access lists and the owner's
// processes come from the simulated machine.
class LegacyComMigrationTest : public ComRegistrationTest {
 protected:
  void SetUp() override {
    REQUIRE_SIMULATED_MACHINE();
    root_ = machine_.In(L"Programs\\Pellucador_kta5");
    ASSERT_TRUE(MakeTestDirectories(root_));
    SetDefaults();
  }
  // A complete owner: its binaries, an access list only administrators may change, registered.
  void SetDefaults() {
    for (const wchar_t* file : {L"KolvSVC.exe", L"KolvC.dll", L"KolvProxyStub.dll"}) {
      ASSERT_TRUE(WriteTestFile(JoinPath(root_, file), "MZ foreign"));
      SetSddl(JoinPath(root_, file), L"O:BAD:");
    }
    SetSddl(root_, kAdministratorsOnly);
    ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, L"SOFTWARE\\Pellucador_kta5",
                                    L"InstallDir", root_ + L"\\"));
  }
  void TearDown() override {
    DeleteRegistryTree(RegistryRoot::kLocalMachine, L"SOFTWARE\\Pellucador_kta5");
  }

  static constexpr const wchar_t* kAdministratorsOnly =
      L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

  static void SetSddl(const Path& path, const std::wstring& sddl) {
    platform::UniqueHandle handle;
    ASSERT_EQ(platform::CreateFileW(path, platform::kAccessWriteDac | platform::kAccessWriteOwner,
                                    platform::kShareAll, platform::kOpenExisting,
                                    platform::kFlagBackupSemantics, &handle),
              0u);
    ASSERT_EQ(platform::SetSecuritySddl(handle.Get(), sddl), 0u);
  }

  // The six class paths for directory, as that installation's registration writes them.
  void WriteClassPaths(const Path& directory, RegistryRoot root = RegistryRoot::kLocalMachine) {
    for (const LegacyComClassPath& row : LegacyComClassPaths()) {
      std::wstring data = row.file ? JoinPath(directory, row.file) : directory;
      if (row.quoted) data = QuoteArgument(data);
      ASSERT_TRUE(WriteRegistryString(root, row.value_key, nullptr, data));
    }
  }
  // The class paths split: the type library's into the install directory, the classes into the
  // foreign root, as a product that once registered over the shared identities leaves them.
  void WriteMixedClassPaths() {
    WriteClassPaths(root_);
    ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, Row(4).value_key, nullptr,
                                    JoinPath(install_dir_, L"KolvProxyStub.dll")));
    ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, Row(5).value_key, nullptr,
                                    install_dir_ + L"\\"));
  }
  std::string Shared() {
    std::string dump;
    for (RegistryRoot root : {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser}) {
      for (const wchar_t* key : {L"SOFTWARE\\Classes\\CLSID", L"SOFTWARE\\Classes\\TypeLib",
                                 L"SOFTWARE\\Pellucador_kta5"}) {
        dump += Dump(root, key);
      }
    }
    return dump;
  }
  // The foreign registration callback: what its own programs would write.
  ForeignComRegistration Recorder() {
    return [this](const Path& root) {
      registered_.push_back(root);
      WriteClassPaths(root);
      return true;
    };
  }

  Path root_;
  std::vector<Path> registered_;
  std::string message_;
};

TEST_F(LegacyComMigrationTest, ARefusedMigrationChangesNothingAndSaysWhy) {
  const std::string incomplete =
      "Legacy COM migration refused: another COM owner is present but its KTA/Pellucador install "
      "root is incomplete or unsafe.";
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string message;
  };
  const Case cases[] = {
      {"the owner's client library is missing",
       [&] { ASSERT_EQ(platform::DeleteFileW(JoinPath(root_, L"KolvC.dll")), 0u); }, incomplete},
      {"users may write the owner's root",
       [&] { SetSddl(root_, L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)"); }, incomplete},
      {"users may change the owner's server",
       [&] { SetSddl(JoinPath(root_, L"KolvSVC.exe"), L"O:BAD:(A;;FA;;;BA)(A;;FA;;;BU)"); },
       incomplete},
      {"a user owns the root",
       [&] { SetSddl(root_, L"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;BA)"); }, incomplete},
      {"the registered root has another name",
       [&] {
         ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, L"SOFTWARE\\Pellucador_kta5",
                                         L"InstallDir", machine_.In(L"Programs")));
       },
       incomplete},
      {"a product path names another file",
       [&] {
         ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, Row(1).value_key, nullptr,
                                         JoinPath(install_dir_, L"Other.dll")));
       },
       "Legacy COM migration refused: a Vellmora COM path is not the expected legacy value."},
      {"a class path of a third owner",
       [&] {
         ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, Row(2).value_key, nullptr,
                                         L"E:\\Third\\KolvC.dll"));
       },
       "Legacy COM migration refused: a mixed or unexpected COM owner was found."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteMixedClassPaths();
    c.arrange();
    const std::string before = Shared();
    registered_.clear();
    EXPECT_FALSE(MigrateLegacyComRegistration(install_dir_, Recorder(), &message_));
    EXPECT_EQ(message_, c.message);
    EXPECT_TRUE(registered_.empty());
    EXPECT_EQ(Shared(), before);
    // Back to the complete owner for the next case.
    SetDefaults();
  }
}

TEST_F(LegacyComMigrationTest, TheOwnerStillRunningIsRefusedAndNotStopped) {
  WriteMixedClassPaths();
  // A lingering program under the owner's server name, started from its root.
  std::string sleeper;
  {
    std::ifstream in("/bin/sleep", std::ios::binary);
    sleeper.assign(std::istreambuf_iterator<char>(in), {});
  }
  const Path server = JoinPath(root_, L"KolvSVC.exe");
  ASSERT_TRUE(WriteTestFile(server, sleeper));
  platform::ProcessInformation process;
  ASSERT_EQ(platform::CreateProcessW(QuoteArgument(server) + L" 30", false, 0, {}, &process), 0u);
  const std::string before = Shared();

  EXPECT_FALSE(MigrateLegacyComRegistration(install_dir_, Recorder(), &message_));
  EXPECT_EQ(message_,
            "Close KTA/Pellucador before migrating its shared COM registration; no foreign process "
            "was stopped.");
  EXPECT_TRUE(registered_.empty());
  EXPECT_EQ(Shared(), before);
  std::uint32_t exit_code = 0;
  EXPECT_EQ(platform::GetExitCodeProcess(process.process.Get(), &exit_code), 0u);
  EXPECT_EQ(exit_code, platform::kStillActive);
  platform::TerminateProcess(process.process.Get(), 1);
}

TEST_F(LegacyComMigrationTest, ACompleteOwnerIsRestoredAndOnlyTheProductsPathsGo) {
  WriteMixedClassPaths();
  const std::wstring user_server_key = Row(0).value_key;
  ASSERT_TRUE(WriteRegistryString(RegistryRoot::kCurrentUser, user_server_key.c_str(), nullptr,
                                  QuoteArgument(JoinPath(install_dir_, L"KolvSVC.exe")) +
                                      L" -Embedding"));

  ASSERT_TRUE(MigrateLegacyComRegistration(install_dir_, Recorder(), &message_)) << message_;
  EXPECT_EQ(message_,
            "Restored the original Pellucador/KTA COM server and removed Vellmora-owned legacy "
            "overrides.");
  EXPECT_EQ(registered_, std::vector<Path>{root_});
  for (const LegacyComClassPath& row : LegacyComClassPaths()) {
    std::wstring value;
    SCOPED_TRACE(ToUtf8(row.value_key));
    ASSERT_TRUE(ReadRegistryString(RegistryRoot::kLocalMachine, row.value_key, nullptr, &value));
    EXPECT_TRUE(LegacyValueMatches(value, root_, row));
  }
  platform::RegistryKey user_class;
  EXPECT_EQ(platform::RegOpenKeyExW(RegistryRoot::kCurrentUser, Row(0).key_to_delete,
                                    platform::kKeyQueryValue, &user_class),
            platform::kErrorFileNotFound);
}

TEST_F(LegacyComMigrationTest, WithoutAnOwnerOnlyTheProductsPathsAreRemoved) {
  TearDown();
  WriteClassPaths(install_dir_);
  ASSERT_TRUE(MigrateLegacyComRegistration(install_dir_, Recorder(), &message_)) << message_;
  EXPECT_EQ(message_,
            "Removed only Vellmora-owned legacy COM class paths; shared interfaces were preserved. "
            "Repair KTA/Pellucador separately if its InstallDir is stale.");
  EXPECT_TRUE(registered_.empty());
  // Every class key went; the type library keeps only the keys above the two values.
  EXPECT_EQ(Dump(RegistryRoot::kLocalMachine, L"SOFTWARE\\Classes\\CLSID"),
            "[SOFTWARE\\Classes\\CLSID]\n-- 32-bit view --\n");

  const std::string before = Shared();
  ASSERT_TRUE(MigrateLegacyComRegistration(install_dir_, Recorder(), &message_));
  EXPECT_EQ(message_, "No legacy Vellmora COM paths are registered.");
  EXPECT_EQ(Shared(), before);
}

TEST_F(LegacyComMigrationTest, TheOwnersOwnProgramsRestoreItsRegistration) {
  // The owner's libraries register the shared class paths into its root, as its own
  // self-registration does; its server is a program that succeeds.
  const std::string proxy_block =
      "VELLMORA-COM-REGISTRATION 1\n"
      "CLSID\\{F3265CBC-288B-4670-9518-1A0B4A58192F}\\InProcServer32|@|%MODULE%\n"
      "TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}\\1.3\\0\\win64|@|%MODULE%\n"
      "TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}\\1.3\\HELPDIR|@|%MODULE_DIR%\n";
  const std::string client_block =
      "VELLMORA-COM-REGISTRATION 1\n"
      "CLSID\\{F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A}\\InprocServer32|@|%MODULE%\n"
      "CLSID\\{F2DB3C6E-125C-4103-97F9-E4BC42A449F4}\\InprocServer32|@|%MODULE%\n";
  ASSERT_TRUE(WriteTestFile(JoinPath(root_, L"KolvProxyStub.dll"),
                            "MZ" + proxy_block + std::string(1, '\0')));
  ASSERT_TRUE(WriteTestFile(JoinPath(root_, L"KolvC.dll"), "MZ" + client_block + std::string(1, '\0')));
  ASSERT_TRUE(WriteTestFile(JoinPath(root_, L"KolvSVC.exe"), "#!/bin/sh\nexit 0\n"));
  ASSERT_TRUE(OnlyAdministratorsMayModify(JoinPath(root_, L"KolvC.dll")));
  WriteMixedClassPaths();
  // This product's binaries fail loudly if anything runs them.
  for (const wchar_t* file : {L"VLMServ.exe", L"KolvSVC.exe"}) {
    ASSERT_TRUE(WriteTestFile(JoinPath(install_dir_, file), "#!/bin/sh\nexit 9\n"));
  }

  ASSERT_TRUE(MigrateLegacyComRegistration(
      install_dir_, [&](const Path& root) { return RegisterComServers(engine_, root, "Pellucador"); },
      &message_))
      << message_ << TakeLog();
  EXPECT_EQ(message_,
            "Restored the original Pellucador/KTA COM server and removed Vellmora-owned legacy "
            "overrides.");
  for (const LegacyComClassPath& row : LegacyComClassPaths()) {
    std::wstring value;
    SCOPED_TRACE(ToUtf8(row.value_key));
    ASSERT_TRUE(ReadRegistryString(RegistryRoot::kLocalMachine, row.value_key, nullptr, &value));
    EXPECT_TRUE(LegacyValueMatches(value, root_, row));
  }
}

}  // namespace
}  // namespace vellmora::testing
