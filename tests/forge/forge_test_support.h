#pragma once
// What the forge tests share: a scratch folder per test, the real 7-Zip run on a forged archive
// with its output captured, and that output split into the items of a technical listing.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "forge/forge.h"

namespace forge_test {

class ForgeTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::filesystem::path In(const std::string& name) const { return scratch_ / name; }
  // Writes a package with the options; fails the test when the forge refuses.
  std::filesystem::path Forge(const forge::PackageOptions& options, const std::string& name);

 private:
  std::filesystem::path scratch_;
};

std::string ReadAll(const std::filesystem::path& file);

struct ToolRun {
  int exit_code = -1;
  std::string output;  // standard output and standard error together
};

// The pinned 7-Zip console program with `arguments` (already quoted as a shell needs them).
ToolRun RunSevenZip(const std::string& arguments);
ToolRun RunProgram(const std::string& program, const std::string& arguments);
std::string Quote(const std::filesystem::path& path);

// One item block of "l -slt" output: its "Name = value" lines.
struct ListedItem {
  std::map<std::string, std::string> properties;
  std::string Get(const std::string& name) const;
};

// The item blocks after the separator line.
std::vector<ListedItem> ListedItems(const std::string& listing);
// The listing of `archive` by "l -slt -sns"; fails the test when 7-Zip does not exit with 0.
std::vector<ListedItem> ListArchive(const std::filesystem::path& archive, bool streams = true);
const ListedItem* FindItem(const std::vector<ListedItem>& items, const std::string& path);

}  // namespace forge_test
