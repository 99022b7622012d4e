#include "forge_test_support.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace forge_test {

void ForgeTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name)
    if (c == '/') c = '_';
  scratch_ = std::filesystem::path(::testing::TempDir()) / ("vellmora-forge-" + name);
  std::filesystem::remove_all(scratch_);
  std::filesystem::create_directories(scratch_);
}

void ForgeTest::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch_, ignored);
}

std::filesystem::path ForgeTest::Forge(const forge::PackageOptions& options,
                                       const std::string& name) {
  const std::filesystem::path out = In(name);
  std::string error;
  EXPECT_TRUE(forge::WritePackage(options, out, &error)) << error;
  return out;
}

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

std::string ListedItem::Get(const std::string& name) const {
  const auto found = properties.find(name);
  return found == properties.end() ? std::string() : found->second;
}

std::vector<ListedItem> ListedItems(const std::string& listing) {
  std::vector<ListedItem> items;
  std::istringstream lines(listing);
  std::string line;
  bool after_separator = false;
  bool open = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!after_separator) {
      after_separator = line.find("----------") != std::string::npos;
      continue;
    }
    if (line.empty()) {
      open = false;
      continue;
    }
    const std::size_t equals = line.find(" = ");
    const bool bare = equals == std::string::npos && line.size() > 2 &&
                      line.compare(line.size() - 2, 2, " =") == 0;
    if (equals == std::string::npos && !bare) continue;
    if (!open) {
      items.emplace_back();
      open = true;
    }
    if (bare)
      items.back().properties[line.substr(0, line.size() - 2)] = "";
    else
      items.back().properties[line.substr(0, equals)] = line.substr(equals + 3);
  }
  return items;
}

const ListedItem* FindItem(const std::vector<ListedItem>& items, const std::string& path) {
  for (const ListedItem& item : items)
    if (item.Get("Path") == path) return &item;
  return nullptr;
}

}  // namespace forge_test
