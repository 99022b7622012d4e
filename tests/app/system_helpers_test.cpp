#include "app/system_helpers.h"

#include <cwctype>

#include "app/install_paths.h"
#include "app/path_helpers.h"
#include "app_test.h"
#include "platform/paths.h"

namespace vellmora::testing {
namespace {

class SystemHelpersTest : public AppTest {};

bool IsGuidText(const std::wstring& text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen ? text[i] != L'-'
               : !(std::iswdigit(static_cast<wint_t>(text[i])) || (text[i] >= L'A' && text[i] <= L'F'))) {
      return false;
    }
  }
  return true;
}

TEST_F(SystemHelpersTest, GuidTextsHaveTheirTwoShapes) {
  std::wstring bare = NewGuidString(false);
  std::wstring braced = NewGuidString(true);
  EXPECT_TRUE(IsGuidText(bare)) << bare.size();
  ASSERT_EQ(braced.size(), 38u);
  EXPECT_EQ(braced.front(), L'{');
  EXPECT_EQ(braced.back(), L'}');
  EXPECT_TRUE(IsGuidText(braced.substr(1, 36)));
  EXPECT_NE(bare, braced.substr(1, 36));

  platform::Guid fixed{0x0123ABCD, 0x00EF, 0x4A5B, {0xC0, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xFF}};
  EXPECT_EQ(FormatGuid(fixed, true), L"{0123ABCD-00EF-4A5B-C001-0203040506FF}");
}

TEST_F(SystemHelpersTest, EnvironmentValuesOutsideOneTo32767CharactersAreEmpty) {
  std::wstring value = L"C:\\Program Files";
  ASSERT_EQ(platform::SetEnvironmentVariableW(L"VELLMORA_TEST_VALUE", &value), 0u);
  EXPECT_EQ(ReadEnvironmentVariable(L"vellmora_test_value"), value) << "names ignore case";
  // Windows itself keeps at most 32,766 characters; longer values exist only where a platform
  // allows them, and then must read as empty.
  std::wstring longest(32766, L'x');
  ASSERT_EQ(platform::SetEnvironmentVariableW(L"VELLMORA_TEST_VALUE", &longest), 0u);
  EXPECT_EQ(ReadEnvironmentVariable(L"VELLMORA_TEST_VALUE").size(), 32766u);
#if VELLMORA_PLATFORM_SIM
  std::wstring too_long(32768, L'x');
  ASSERT_EQ(platform::SetEnvironmentVariableW(L"VELLMORA_TEST_VALUE", &too_long), 0u);
  EXPECT_EQ(ReadEnvironmentVariable(L"VELLMORA_TEST_VALUE").size(), 0u);
#endif
  platform::SetEnvironmentVariableW(L"VELLMORA_TEST_VALUE", nullptr);
  EXPECT_EQ(ReadEnvironmentVariable(L"VELLMORA_TEST_VALUE"), L"");
}

TEST_F(SystemHelpersTest, SystemAndRuntimeFolders) {
  EXPECT_EQ(PathKey(System32Dir()), L"c:\\windows\\system32");
  EXPECT_EQ(RuntimeDirOf(L"D:\\ProgramData\\Vellmora"),
            L"D:\\ProgramData\\Vellmora\\Runtime\\Pellucador_kta5");
  platform::Path temp = TemporaryDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), L'\\');
}

TEST_F(SystemHelpersTest, TheSystemFolderComesFromTheSystemNotFromSystemRoot) {
  std::wstring saved;
  platform::GetEnvironmentVariableW(L"SystemRoot", &saved);
  Path expected = System32Dir();
  ASSERT_FALSE(expected.empty());
  for (std::wstring planted : {std::wstring(L"C:\\Users\\Public\\Downloads"), std::wstring(L"")}) {
    platform::SetEnvironmentVariableW(L"SystemRoot", &planted);
    EXPECT_EQ(System32Dir(), expected);
  }
  platform::SetEnvironmentVariableW(L"SystemRoot", nullptr);
  EXPECT_EQ(System32Dir(), expected);
  platform::SetEnvironmentVariableW(L"SystemRoot", &saved);
}

TEST_F(SystemHelpersTest, AMissingKnownFolderMakesThePathsUnsafe) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  EXPECT_TRUE(DetectInstallPaths().IsValid());
  sim::SetKnownFolder(platform::KnownFolder::kPrograms, L"");
  InstallPaths paths = DetectInstallPaths();
  EXPECT_EQ(paths.start_menu_folder, L"");
  EXPECT_FALSE(paths.IsValid());
#endif
}

struct UnsafePathsCase {
  const char* name;
  void (*change)(InstallPaths* paths);
};

TEST_F(SystemHelpersTest, ProductFoldersThatCoincideOrNestAreUnsafe) {
  const UnsafePathsCase cases[] = {
      {"the same folder", [](InstallPaths* p) { p->data_base = p->install_base; }},
      {"the same folder in other letters", [](InstallPaths* p) {
         p->install_base = L"C:\\";
         p->data_base = L"c:/";
       }},
      {"data inside the program folder", [](InstallPaths* p) { p->data_base = p->InstallDir(); }},
      {"program folder inside the data", [](InstallPaths* p) { p->install_base = p->DataDir(); }},
      {"a relative base", [](InstallPaths* p) { p->install_base = L"Vellmora"; }},
      {"an empty Desktop", [](InstallPaths* p) { p->desktop.clear(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InstallPaths paths = DetectInstallPaths();
    ASSERT_TRUE(paths.IsValid());
    c.change(&paths);
    EXPECT_FALSE(paths.IsValid());
  }
}

TEST_F(SystemHelpersTest, ProgramFilesFallsBackFromProgramW6432) {
  std::wstring saved;
  ASSERT_EQ(platform::GetEnvironmentVariableW(L"ProgramW6432", &saved), 0u);
  std::wstring other = L"D:\\Program Files";
  platform::SetEnvironmentVariableW(L"ProgramW6432", nullptr);
  platform::SetEnvironmentVariableW(L"ProgramFiles", &other);
  InstallPaths paths = DetectInstallPaths();
  platform::SetEnvironmentVariableW(L"ProgramW6432", &saved);
  platform::SetEnvironmentVariableW(L"ProgramFiles", &saved);
  EXPECT_EQ(paths.program_files, other);
  EXPECT_EQ(paths.install_base, L"D:\\");
  EXPECT_EQ(paths.data_base, L"D:\\ProgramData");
}

}  // namespace
}  // namespace vellmora::testing
