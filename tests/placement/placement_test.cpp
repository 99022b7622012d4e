#include "placement/placement_test.h"

#include "app/path_helpers.h"
#include "app/text.h"
#include "placement/tree_operations.h"
#include "platform/files.h"

namespace vellmora::testing {

PlacementTest::PlacementTest() {
#if VELLMORA_PLATFORM_SIM
  sim::UseFakeClock(true);
#endif
  engine_.paths.install_base = machine_.In(L"D");
  engine_.paths.data_base = machine_.In(L"D\\ProgramData");
  engine_.paths.local_app_data = machine_.In(L"C\\Users\\ana\\AppData\\Local");
  for (const platform::Path& path : {engine_.paths.install_base, engine_.paths.data_base,
                                     engine_.paths.local_app_data}) {
    MakeTestDirectories(path);
  }
}

PlacementTest::~PlacementTest() {
#if VELLMORA_PLATFORM_SIM
  sim::UseFakeClock(false);
#endif
}

void PlacementTest::WriteTree(const platform::Path& root, const TreeManifest& files) {
  MakeTestDirectories(root);
  for (const auto& [relative, content] : files) {
    const platform::Path path = JoinPath(root, relative);
    if (!relative.empty() && relative.back() == L'\\') {
      MakeTestDirectories(WithoutTrailingSeparators(path));
      continue;
    }
    MakeTestDirectories(ParentPath(path));
    ASSERT_TRUE(WriteTestFile(path, content)) << ToUtf8(path);
  }
}

namespace {

void ReadBelow(const platform::Path& root, const std::wstring& prefix, TreeManifest* out) {
  std::vector<platform::DirectoryEntry> entries;
  if (platform::ListDirectory(root, &entries) != platform::kErrorSuccess) return;
  for (const auto& entry : entries) {
    const std::wstring relative = prefix + entry.name;
    const platform::Path path = JoinPath(root, entry.name);
    if ((entry.status.attributes & platform::kAttributeReparsePoint) != 0) {
      (*out)[relative] = "-> link";
    } else if ((entry.status.attributes & platform::kAttributeDirectory) != 0) {
      std::vector<platform::DirectoryEntry> inner;
      platform::ListDirectory(path, &inner);
      if (inner.empty()) (*out)[relative + L"\\"] = "";
      ReadBelow(path, relative + L"\\", out);
    } else {
      std::string content;
      ReadTestFile(path, &content);
      (*out)[relative] = content;
    }
  }
}

}  // namespace

TreeManifest PlacementTest::ReadTree(const platform::Path& root) {
  TreeManifest manifest;
  ReadBelow(root, L"", &manifest);
  return manifest;
}

bool PlacementTest::Exists(const platform::Path& path) {
  platform::FileStatus status;
  return platform::GetFileStatus(path, &status) == platform::kErrorSuccess;
}

std::string PlacementTest::LogText() {
  std::string text;
  for (const std::string& line : engine_.TakeSnapshot().log_lines) text += line + "\n";
  return text;
}

std::vector<std::wstring> PlacementTest::EntriesContaining(const platform::Path& directory,
                                                           const std::wstring& text) {
  std::vector<platform::DirectoryEntry> entries;
  platform::ListDirectory(directory, &entries);
  std::vector<std::wstring> names;
  for (const auto& entry : entries) {
    if (entry.name.find(text) != std::wstring::npos) names.push_back(entry.name);
  }
  return names;
}

bool PlacementTest::MakeJunction(const platform::Path& link, const platform::Path& target) {
  return platform::CreateJunction(link, target) == platform::kErrorSuccess;
}

}  // namespace vellmora::testing
