#include <algorithm>

#include "app/path_helpers.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "package/archive_tool.h"
#include "package/package_test.h"
#include "platform/files.h"
#include "platform/security.h"

namespace vellmora::testing {
namespace {

constexpr const wchar_t* kParent = L"C:\\.VellmoraInstaller";

class StagingDirectoryTest : public PackageTest {
 protected:
  StagingDirectoryTest() {
    engine_.paths.install_base = L"C:\\";
    RemoveTestTree(kParent);
  }
  ~StagingDirectoryTest() override {
#if VELLMORA_PLATFORM_SIM
    sim::SetSystemToolFailure(L"icacls.exe", {});
#endif
    RemoveTestTree(kParent);
  }

  // Whether this system records the owner a directory is created with (Wine records none and
  // names the current user instead).
  bool KeepsOwners() {
    platform::Path probe = machine_.In(L"owner-probe");
    if (platform::CreateDirectoryWithSecurityW(probe, L"O:BAD:P(A;OICI;FA;;;BA)") != 0)
      return false;
    platform::UniqueHandle directory;
    std::wstring owner;
    bool kept = platform::CreateFileW(probe, platform::kAccessReadControl, platform::kShareAll,
                                      platform::kOpenExisting, platform::kFlagBackupSemantics,
                                      &directory) == 0 &&
                platform::GetOwnerSid(directory.Get(), &owner) == 0 &&
                owner == platform::kAdministratorsSid;
    directory.Reset();
    platform::RemoveDirectoryW(probe);
    return kept;
  }

  static bool Exists(const std::wstring& path) {
    return platform::GetFileAttributesW(path) != platform::kInvalidFileAttributes;
  }
};

TEST_F(StagingDirectoryTest, TheDirectoryIsAFreshGuidFolderRemovedWithItsParent) {
  std::wstring first = CreateStagingDirectory(engine_);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(ParentPath(first), kParent);
  EXPECT_EQ(LastComponent(first).substr(0, 9), L"Vellmora-");
  EXPECT_EQ(LastComponent(first).size(), 9u + 36u);
  ASSERT_TRUE(WriteTestFile(first + L"\\7z.exe", "tool"));
  if (!KeepsOwners()) {
    RemoveStagingDirectory(first);
    EXPECT_FALSE(Exists(kParent));
    GTEST_SKIP() << "this Wine keeps no owners, so an existing parent cannot prove itself";
  }
  std::wstring second = CreateStagingDirectory(engine_);
  ASSERT_FALSE(second.empty()) << "a parent the installer made is used again";
  EXPECT_NE(first, second);
  RemoveStagingDirectory(first);
  EXPECT_FALSE(Exists(first));
  EXPECT_TRUE(Exists(kParent)) << "the other staging directory still needs the parent";
  RemoveStagingDirectory(second);
  EXPECT_FALSE(Exists(kParent));
}

TEST_F(StagingDirectoryTest, OnlyStagingDirectoriesAreEverRemoved) {
  platform::Path elsewhere = machine_.In(L"Vellmora-keep");
  ASSERT_TRUE(MakeTestDirectories(elsewhere));
  RemoveStagingDirectory(elsewhere);
  EXPECT_TRUE(Exists(elsewhere));
}

TEST_F(StagingDirectoryTest, IsCreatedWithTheProtectedDescriptor) {
  std::wstring staging = CreateStagingDirectory(engine_);
  ASSERT_FALSE(staging.empty());
  for (const std::wstring& path : {std::wstring(kParent), staging}) {
    SCOPED_TRACE(ToUtf8(path));
    platform::UniqueHandle directory;
    ASSERT_EQ(
        platform::CreateFileW(path, platform::kAccessReadControl, platform::kShareAll,
                              platform::kOpenExisting, platform::kFlagBackupSemantics, &directory),
        0u);
    std::wstring sddl;
    ASSERT_EQ(platform::GetSecuritySddl(directory.Get(), &sddl), 0u);
    if (!TestMachine::IsSimulated() && sddl.find(L"D:P") == std::wstring::npos &&
        sddl.find(L"D:PAI") == std::wstring::npos) {
      GTEST_SKIP() << "this Wine keeps no security descriptors on files: " << ToUtf8(sddl);
    }
    EXPECT_EQ(sddl.substr(0, 4), L"O:BA") << ToUtf8(sddl);
    std::size_t dacl = sddl.find(L"D:");
    ASSERT_NE(dacl, std::wstring::npos);
    EXPECT_EQ(sddl[dacl + 2], L'P') << "protected from inheritance: " << ToUtf8(sddl);
    std::wstring entries = sddl.substr(sddl.find(L'(', dacl));
    EXPECT_EQ(entries, L"(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)") << ToUtf8(sddl);
    std::wstring owner;
    ASSERT_EQ(platform::GetOwnerSid(directory.Get(), &owner), 0u);
    EXPECT_EQ(owner, platform::kAdministratorsSid);
  }
  RemoveStagingDirectory(staging);
}

#if VELLMORA_PLATFORM_SIM

// Only LocalSystem and Administrators, explicitly and protected from what C:\ passes down.
void ExpectPrivate(const std::wstring& path) {
  SCOPED_TRACE(ToUtf8(path));
  for (const std::wstring& sid : {sim::MachineUserSid(), std::wstring(platform::kUsersSid)}) {
    sim::Access access = sim::EffectiveAccess(path, sid);
    EXPECT_FALSE(access.read || access.write || access.execute) << ToUtf8(sid);
  }
  EXPECT_TRUE(sim::EffectiveAccess(path, platform::kAdministratorsSid).write);
  sim::AccessList list;
  ASSERT_TRUE(sim::EffectiveAccessList(path, &list));
  EXPECT_TRUE(list.owner_sid == platform::kAdministratorsSid ||
              list.owner_sid == platform::kLocalSystemSid);
  for (const sim::AccessEntry& entry : list.entries) {
    EXPECT_TRUE(entry.sid == platform::kLocalSystemSid || entry.sid == platform::kAdministratorsSid)
        << ToUtf8(entry.sid);
  }
}

TEST_F(StagingDirectoryTest, BothLevelsArePrivateEvenBeforeIcaclsRuns) {
  // What an ordinary folder under C:\ would be: open to every signed-in user.
  platform::Path ordinary = L"C:\\ordinary-folder";
  ASSERT_TRUE(MakeTestDirectories(ordinary));
  EXPECT_TRUE(sim::EffectiveAccess(ordinary, sim::MachineUserSid()).write);
  RemoveTestTree(ordinary);

  // icacls that claims success and changes nothing: the creation alone must have secured both.
  sim::SetSystemToolFailure(L"icacls.exe", {0, 0, true});
  std::wstring staging = CreateStagingDirectory(engine_);
  ASSERT_FALSE(staging.empty());
  ExpectPrivate(kParent);
  ExpectPrivate(staging);
  ASSERT_TRUE(WriteTestFile(staging + L"\\7z.dll", "library"));
  ExpectPrivate(staging + L"\\7z.dll");

  // With the real icacls run as well, the tree stays private.
  sim::SetSystemToolFailure(L"icacls.exe", {});
  std::wstring another = CreateStagingDirectory(engine_);
  ASSERT_FALSE(another.empty());
  ExpectPrivate(another);
  std::vector<sim::StartedProcess> started = sim::StartedProcesses();
  ASSERT_FALSE(started.empty());
  EXPECT_EQ(started.back().image_path, L"C:\\Windows\\System32\\icacls.exe");
}

TEST_F(StagingDirectoryTest, AParentAnOrdinaryUserMadeIsRefused) {
  sim::SetElevated(false);
  ASSERT_EQ(platform::CreateDirectoryW(kParent), 0u);
  sim::SetElevated(true);
  NewLogLines();
  EXPECT_EQ(CreateStagingDirectory(engine_), L"");
  EXPECT_EQ(NewLogLines(),
            (std::vector<std::string>{"Could not secure staging directory C:\\.VellmoraInstaller: "
                                      "icacls exit=31, Windows error=1307."}));
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_EQ(platform::ListDirectory(kParent, &entries), 0u);
  EXPECT_TRUE(entries.empty()) << "nothing is placed inside a folder a user controls";
}

TEST_F(StagingDirectoryTest, AParentThatIsALinkIsRefused) {
  platform::Path target = machine_.In(L"planted");
  ASSERT_TRUE(MakeTestDirectories(target));
  ASSERT_EQ(platform::CreateJunction(kParent, target), 0u);
  NewLogLines();
  EXPECT_EQ(CreateStagingDirectory(engine_), L"");
  EXPECT_EQ(NewLogLines(),
            (std::vector<std::string>{"Could not secure staging directory C:\\.VellmoraInstaller: "
                                      "icacls exit=31, Windows error=4395."}));
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_EQ(platform::ListDirectory(target, &entries), 0u);
  EXPECT_TRUE(entries.empty());
  platform::RemoveDirectoryW(kParent);
}

TEST_F(StagingDirectoryTest, AnOldAdministratorsParentIsSecuredAgain) {
  // An earlier installer made it with what C:\ passes down, which lets users modify it.
  ASSERT_EQ(platform::CreateDirectoryW(kParent), 0u);
  ASSERT_TRUE(sim::EffectiveAccess(kParent, sim::MachineUserSid()).write);
  sim::SetSystemToolFailure(L"icacls.exe", {0, 0, true});
  std::wstring staging = CreateStagingDirectory(engine_);
  ASSERT_FALSE(staging.empty());
  ExpectPrivate(kParent);
  ExpectPrivate(staging);
}

TEST_F(StagingDirectoryTest, AGuidFolderThatExistsAlreadyIsNeverUsed) {
  sim::InjectFault({"create_directory", L"C:\\.VellmoraInstaller\\Vellmora-*", 1,
                    platform::kErrorAlreadyExists});
  NewLogLines();
  EXPECT_EQ(CreateStagingDirectory(engine_), L"");
  std::vector<std::string> lines = NewLogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(
      lines[0].rfind("Could not create staging directory C:\\.VellmoraInstaller\\Vellmora-", 0),
      0u);
  EXPECT_NE(lines[0].find(" (Windows error 183: Cannot create a file when that file already "
                          "exists.)."),
            std::string::npos)
      << lines[0];
  EXPECT_FALSE(Exists(kParent)) << "the parent made for it goes with it";
}

TEST_F(StagingDirectoryTest, AFailedIcaclsLeavesNoDirectoryBehind) {
  struct Case {
    sim::SystemToolFailure failure;
    std::string line;
    bool output;
  };
  const Case cases[] = {
      {{0, 5, false}, "icacls exit=5, Windows error=0.", true},
      {{2, 0, false}, "icacls exit=31, Windows error=2.", false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.line);
    sim::SetSystemToolFailure(L"icacls.exe", test.failure);
    NewLogLines();
    EXPECT_EQ(CreateStagingDirectory(engine_), L"");
    std::vector<std::string> lines = NewLogLines();
    ASSERT_EQ(lines.size(), test.output ? 2u : 1u);
    EXPECT_EQ(
        lines[0].rfind("Could not secure staging directory C:\\.VellmoraInstaller\\Vellmora-", 0),
        0u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - test.line.size()), test.line);
    if (test.output) {
      EXPECT_EQ(lines[1].rfind("icacls output: Access is denied.", 0), 0u);
    }
    EXPECT_FALSE(Exists(kParent));
  }
}

TEST_F(StagingDirectoryTest, IcaclsRunsFromTheSystemFolderWhateverSystemRootSays) {
  platform::Path planted = machine_.In(L"Windows");
  ASSERT_TRUE(MakeTestDirectories(planted + L"\\System32"));
  ASSERT_TRUE(WriteTestFile(planted + L"\\System32\\icacls.exe", "#!/bin/sh\nexit 0\n"));
  platform::SetEnvironmentVariableW(L"SystemRoot", &planted);
  EXPECT_EQ(System32Dir(), L"C:\\Windows\\System32");
  std::wstring staging = CreateStagingDirectory(engine_);
  ASSERT_FALSE(staging.empty());
  std::vector<sim::StartedProcess> started = sim::StartedProcesses();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].image_path, L"C:\\Windows\\System32\\icacls.exe");
}

#endif

}  // namespace
}  // namespace vellmora::testing
