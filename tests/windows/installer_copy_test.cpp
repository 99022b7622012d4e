#include "windows/installer_copy.h"

#include "app/file_helpers.h"
#include "app/path_helpers.h"
#include "app/system_errors.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/security.h"
#include "windows/windows_test.h"

namespace vellmora::testing {
namespace {

class InstallerCopyTest : public WindowsTest {
 protected:
  InstallerCopyTest() { UseRunningExecutableAsInstaller(); }

  platform::Path InstallerFolder() {
    return JoinPath(engine_.paths.program_data, L"Vellmora-Installer");
  }
  static bool Exists(const platform::Path& path) {
    return platform::GetFileAttributesW(path) != platform::kInvalidFileAttributes;
  }
  // The owner and DACL as Windows writes them; empty (and the test skips) where the system keeps
  // no security descriptors on files.
  static std::wstring SddlOf(const platform::Path& path) {
    platform::UniqueHandle object;
    std::wstring sddl;
    if (platform::CreateFileW(path, platform::kAccessReadControl, platform::kShareAll,
                              platform::kOpenExisting, platform::kFlagBackupSemantics,
                              &object) != platform::kErrorSuccess ||
        platform::GetSecuritySddl(object.Get(), &sddl) != platform::kErrorSuccess) {
      ADD_FAILURE() << "no security descriptor for " << ToUtf8(path);
    }
    return sddl;
  }
  // The first allow entry that lets Users, Everyone or Authenticated Users do more than read and
  // execute; empty when there is none.
  static std::wstring OrdinaryUsersMayWrite(const std::wstring& sddl) {
    const std::wstring entries = DaclEntries(sddl);
    for (std::size_t open = entries.find(L'('); open != std::wstring::npos;
         open = entries.find(L'(', open + 1)) {
      const std::wstring entry = entries.substr(open, entries.find(L')', open) - open + 1);
      const std::size_t sid = entry.rfind(L';') + 1;
      const std::wstring who = entry.substr(sid, entry.size() - 1 - sid);
      if (who != L"BU" && who != L"WD" && who != L"AU" && who != L"S-1-5-32-545") continue;
      const std::size_t rights_start = entry.find(L';', entry.find(L';') + 1) + 1;
      const std::wstring rights =
          entry.substr(rights_start, entry.find(L';', rights_start) - rights_start);
      if (entry.rfind(L"(A;", 0) == 0 && rights != L"FR" && rights != L"FX" &&
          rights != L"0x1200a9" && rights != L"0x120089") {
        return entry;
      }
    }
    return L"";
  }
  static std::wstring DaclEntries(const std::wstring& sddl) {
    const std::size_t dacl = sddl.find(L"D:");
    return dacl == std::wstring::npos ? L"" : sddl.substr(sddl.find(L'(', dacl));
  }
};

TEST_F(InstallerCopyTest, TheCopyIsTheRunningInstallerInAPrivateFolderOfItsOwn) {
  const platform::Path copy = CopyInstallerForUninstall(engine_);
  ASSERT_FALSE(copy.empty()) << LogText();
  EXPECT_EQ(LastComponent(copy), L"VellmoraSetup.exe");
  const platform::Path folder = ParentPath(copy);
  EXPECT_EQ(ParentPath(folder), InstallerFolder());
  EXPECT_EQ(LastComponent(folder).substr(0, 6), L"Setup-");
  EXPECT_EQ(LastComponent(folder).size(), 6u + 36u);

  std::string original;
  std::string copied;
  ASSERT_TRUE(ReadWholeFile(platform::GetModuleFileNameW(), &original));
  ASSERT_TRUE(ReadWholeFile(copy, &copied));
  EXPECT_GT(copied.size(), 0u);
  EXPECT_TRUE(copied == original) << "the copy differs from the running executable";
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_EQ(platform::ListDirectory(folder, &entries), 0u);
  EXPECT_EQ(entries.size(), 1u) << "no temporary file is left beside the copy";

  // Read back on every system: LocalSystem has full control, and no ordinary user may write to
  // the folder or the copy.
  for (const platform::Path& path : {folder, copy}) {
    const std::wstring sddl = SddlOf(path);
    SCOPED_TRACE(ToUtf8(sddl));
    EXPECT_NE(DaclEntries(sddl).find(L";FA;;;SY)"), std::wstring::npos);
    EXPECT_EQ(OrdinaryUsersMayWrite(sddl), L"");
  }
}

TEST_F(InstallerCopyTest, TheCopysFolderHasExactlyThePrivateDescriptor) {
  const platform::Path copy = CopyInstallerForUninstall(engine_);
  ASSERT_FALSE(copy.empty()) << LogText();
  const platform::Path folder = ParentPath(copy);
  const std::wstring folder_sddl = SddlOf(folder);
  if (!TestMachine::IsSimulated() && folder_sddl.find(L"D:P") == std::wstring::npos) {
    GTEST_SKIP() << "this Wine records neither the requested owner nor the protection: "
                 << ToUtf8(folder_sddl);
  }
  EXPECT_EQ(folder_sddl.substr(0, 4), L"O:BA") << ToUtf8(folder_sddl);
  EXPECT_NE(folder_sddl.find(L"D:P"), std::wstring::npos) << ToUtf8(folder_sddl);
  EXPECT_EQ(DaclEntries(folder_sddl), L"(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)") << ToUtf8(folder_sddl);
  // The copy itself has only what the folder passes down.
  const std::wstring copy_sddl = SddlOf(copy);
  EXPECT_EQ(DaclEntries(copy_sddl), L"(A;ID;FA;;;SY)(A;ID;FA;;;BA)") << ToUtf8(copy_sddl);
#if VELLMORA_PLATFORM_SIM
  for (const std::wstring& sid : {sim::MachineUserSid(), std::wstring(platform::kUsersSid)}) {
    for (const platform::Path& path : {folder, copy}) {
      const sim::Access access = sim::EffectiveAccess(path, sid);
      EXPECT_FALSE(access.read || access.write || access.execute) << ToUtf8(path);
    }
  }
#endif
}

TEST_F(InstallerCopyTest, EveryCopyGetsAFreshFolder) {
  const platform::Path first = CopyInstallerForUninstall(engine_);
  const platform::Path second = CopyInstallerForUninstall(engine_);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(ParentPath(first), ParentPath(second));
  EXPECT_TRUE(Exists(first));
}

// Whoever controls the installer folder could later swap the copy's folder for one of their own.
TEST_F(InstallerCopyTest, AnInstallerFolderThatIsALinkIsRefused) {
  const platform::Path elsewhere = machine_.In(L"elsewhere");
  ASSERT_TRUE(MakeTestDirectories(elsewhere));
  if (platform::CreateJunction(InstallerFolder(), elsewhere) != platform::kErrorSuccess) {
    GTEST_SKIP() << "no junctions on this system";
  }
  EXPECT_TRUE(CopyInstallerForUninstall(engine_).empty());
  EXPECT_EQ(LogText(), "Could not keep a copy of the installer for the uninstall entry: " +
                           ToUtf8(InstallerFolder()) + " (Windows error 4395: " +
                           SystemErrorText(platform::kErrorReparsePointEncountered) + ").\n");
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_EQ(platform::ListDirectory(elsewhere, &entries), 0u);
  EXPECT_TRUE(entries.empty());
  platform::RemoveDirectoryW(InstallerFolder());
}

TEST_F(InstallerCopyTest, AnExistingInstallerFolderMustBeOwnedByTheAdministrators) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  // Made by an ordinary user before the installer ever ran.
  sim::SetElevated(false);
  ASSERT_EQ(platform::CreateDirectoryW(InstallerFolder()), 0u);
  sim::SetElevated(true);
  EXPECT_TRUE(CopyInstallerForUninstall(engine_).empty());
  EXPECT_EQ(LogText(), "Could not keep a copy of the installer for the uninstall entry: " +
                           ToUtf8(InstallerFolder()) + " (Windows error 1307: " +
                           SystemErrorText(platform::kErrorInvalidOwner) + ").\n");
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_EQ(platform::ListDirectory(InstallerFolder(), &entries), 0u);
  EXPECT_TRUE(entries.empty());

  // One the installer made earlier (the log's folder) is used.
  RemoveTestTree(InstallerFolder());
  ASSERT_TRUE(MakeTestDirectories(JoinPath(InstallerFolder(), L"Logs")));
  EXPECT_FALSE(CopyInstallerForUninstall(engine_).empty()) << LogText();
#endif
}

TEST_F(InstallerCopyTest, OnlyAnEarlierCopyOfThisShapeIsRemoved) {
  const platform::Path current = CopyInstallerForUninstall(engine_);
  const platform::Path earlier = CopyInstallerForUninstall(engine_);
  ASSERT_FALSE(current.empty());
  ASSERT_FALSE(earlier.empty());
  // A folder of the right name outside the installer folder, and one of another name inside it.
  const platform::Path foreign =
      machine_.In(L"Other\\Setup-00000000-0000-0000-0000-000000000000\\VellmoraSetup.exe");
  const platform::Path other_name = JoinPath(InstallerFolder(), L"Tools\\VellmoraSetup.exe");
  for (const platform::Path& path : {foreign, other_name}) {
    ASSERT_TRUE(MakeTestDirectories(ParentPath(path)));
    ASSERT_TRUE(WriteTestFile(path, "x"));
  }
  struct Case {
    std::wstring uninstall_string;
    platform::Path kept;
  };
  const Case kept[] = {
      {QuoteArgument(foreign), foreign},
      {QuoteArgument(other_name), other_name},
      {earlier, earlier},  // not quoted: not what this installer writes
      {QuoteArgument(current), current},
  };
  for (const Case& c : kept) {
    SCOPED_TRACE(ToUtf8(c.uninstall_string));
    RemoveEarlierInstallerCopy(engine_, c.uninstall_string, current);
    EXPECT_TRUE(Exists(c.kept));
  }
  RemoveEarlierInstallerCopy(engine_, QuoteArgument(earlier), current);
  EXPECT_FALSE(Exists(ParentPath(earlier)));
  EXPECT_TRUE(Exists(current));
  EXPECT_EQ(LogText(), "");
}

}  // namespace
}  // namespace vellmora::testing
