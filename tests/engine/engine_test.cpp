#include "engine/engine_test.h"

#include "app/path_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "support/fixture_path.h"

namespace vellmora::testing {

EngineTest::EngineTest() {
  engine_.paths.user_profile = machine_.In(L"C\\Users\\ana");
  pf_ = machine_.In(L"stage\\PF");
  pd_ = machine_.In(L"stage\\PD");
  la_ = machine_.In(L"stage\\LA");
}

void EngineTest::Write(const platform::Path& path, const std::string& content) {
  MakeTestDirectories(ParentPath(path));
  ASSERT_TRUE(WriteTestFile(path, content)) << ToUtf8(path);
}

std::string EngineTest::Read(const platform::Path& path) {
  std::string content;
  EXPECT_TRUE(ReadTestFile(path, &content)) << ToUtf8(path);
  return content;
}

void EngineTest::StageForgedEngine(const forge::PackageOptions& options) {
  const platform::Path tree = machine_.In(L"package");
  std::string error;
  ASSERT_TRUE(forge::LayOutPackageTree(options, FixturePath(tree), &error)) << error;
  MakeTestDirectories(machine_.In(L"stage"));
  const std::pair<const wchar_t*, platform::Path> roots[] = {
      {L"payload\\ProgramFiles\\Vellmora", pf_},
      {L"payload\\ProgramData\\Vellmora", pd_},
      {L"payload\\LocalAppData\\DO-Rarari_vlm5", la_}};
  for (const auto& [source, target] : roots) {
    ASSERT_EQ(platform::MoveFileExW(JoinPath(tree, source), target, 0), platform::kErrorSuccess)
        << ToUtf8(target);
  }
}

std::string Utf8InstallDir(const InstallerEngine& engine) { return ToUtf8(engine.paths.InstallDir()); }
std::string Utf8DataDir(const InstallerEngine& engine) { return ToUtf8(engine.paths.DataDir()); }
std::string Utf8Profile(const InstallerEngine& engine) { return ToUtf8(engine.paths.user_profile); }

std::string Utf16(const std::string& utf8) {
  const std::vector<std::uint8_t> units = ToUtf16LeBytes(FromUtf8(utf8), false);
  return std::string(units.begin(), units.end());
}

}  // namespace vellmora::testing
