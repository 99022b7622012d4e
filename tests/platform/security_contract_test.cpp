#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/security.h"
#include "support/test_machine.h"

namespace {

TEST(SecurityContract, TheProcessTokenTellsItsElevation) {
  vellmora::testing::TestMachine machine;
  bool first = false, second = true;
  ASSERT_EQ(platform::GetTokenElevation(&first), platform::kErrorSuccess);
  ASSERT_EQ(platform::GetTokenElevation(&second), platform::kErrorSuccess);
  EXPECT_EQ(first, second);
}

}  // namespace

namespace {

// The owner alias and the DACL of an SDDL text that ConvertSecurityDescriptorToStringSecurity-
// DescriptorW wrote.
struct Descriptor {
  std::wstring owner;
  std::wstring dacl_flags;
  std::wstring entries;
};

Descriptor Parse(const std::wstring& sddl) {
  Descriptor parts;
  std::size_t dacl = sddl.find(L"D:");
  if (sddl.rfind(L"O:", 0) == 0)
    parts.owner = sddl.substr(2, dacl == std::wstring::npos ? std::wstring::npos : dacl - 2);
  if (dacl == std::wstring::npos) return parts;
  std::size_t first = sddl.find(L'(', dacl);
  parts.dacl_flags =
      sddl.substr(dacl + 2, first == std::wstring::npos ? std::wstring::npos : first - dacl - 2);
  if (first != std::wstring::npos) parts.entries = sddl.substr(first);
  return parts;
}

std::wstring SddlOf(const std::wstring& path) {
  platform::UniqueHandle directory;
  std::wstring sddl;
  if (platform::CreateFileW(path, platform::kAccessReadControl, platform::kShareAll,
                            platform::kOpenExisting, platform::kFlagBackupSemantics,
                            &directory) != 0 ||
      platform::GetSecuritySddl(directory.Get(), &sddl) != 0) {
    return L"<unreadable>";
  }
  return sddl;
}

TEST(SecurityContract, ADirectoryIsCreatedWithItsDescriptorAndKeepsAChangedOne) {
  vellmora::testing::TestMachine machine;
  platform::Path path = machine.In(L"private");
  ASSERT_EQ(
      platform::CreateDirectoryWithSecurityW(path, L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"),
      platform::kErrorSuccess);
  Descriptor created = Parse(SddlOf(path));
  if (created.owner != L"BA" && !vellmora::testing::TestMachine::IsSimulated()) {
    GTEST_SKIP() << "this Wine keeps no security descriptors on files (owner "
                 << std::string(created.owner.begin(), created.owner.end()) << ")";
  }
  EXPECT_EQ(created.owner, L"BA");
  EXPECT_EQ(created.dacl_flags.substr(0, 1), L"P");
  EXPECT_EQ(created.entries, L"(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");

  platform::UniqueHandle directory;
  ASSERT_EQ(platform::CreateFileW(path, platform::kAccessReadControl | platform::kAccessWriteDac,
                                  platform::kShareAll, platform::kOpenExisting,
                                  platform::kFlagBackupSemantics | platform::kFlagOpenReparsePoint,
                                  &directory),
            platform::kErrorSuccess);
  std::wstring owner;
  ASSERT_EQ(platform::GetOwnerSid(directory.Get(), &owner), platform::kErrorSuccess);
  EXPECT_EQ(owner, platform::kAdministratorsSid);
  ASSERT_EQ(platform::SetSecuritySddl(directory.Get(), L"D:P(A;OICI;FA;;;SY)"),
            platform::kErrorSuccess);
  directory.Reset();
  Descriptor changed = Parse(SddlOf(path));
  EXPECT_EQ(changed.owner, L"BA") << "a DACL-only change keeps the owner";
  EXPECT_EQ(changed.entries, L"(A;OICI;FA;;;SY)");

  EXPECT_EQ(platform::CreateDirectoryWithSecurityW(path, L"O:BAD:P(A;OICI;FA;;;SY)"),
            platform::kErrorAlreadyExists);
  EXPECT_EQ(platform::CreateDirectoryWithSecurityW(machine.In(L"bad"), L"O:nonsense"),
            platform::kErrorInvalidParameter);
}

}  // namespace
