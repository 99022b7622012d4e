// Forged RAR5 packages as the real 7-Zip sees them: tested, listed and extracted.

#include <algorithm>
#include <fstream>

#include "forge_test_support.h"

namespace forge_test {
namespace {

using forge::Hostile;
using forge::PackageKind;

forge::PackageOptions Small(PackageKind kind) {
  forge::PackageOptions options;
  options.kind = kind;
  options.payload_bytes = 256 * 1024;
  return options;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Equal to, under, or an ancestor of one of the package's roots (case-insensitive).
bool UnderAllowedRoot(PackageKind kind, const std::string& path) {
  const std::string entry = Lower(path);
  for (const std::string& root_text : forge::AllowedRoots(kind)) {
    const std::string root = Lower(root_text);
    if (entry == root) return true;
    if (root == "package-manifest.json") continue;
    if (entry.size() > root.size() && entry.compare(0, root.size(), root) == 0 &&
        entry[root.size()] == '/')
      return true;
    if (root.size() > entry.size() && root.compare(0, entry.size(), entry) == 0 &&
        root[entry.size()] == '/')
      return true;
  }
  return false;
}

class Rar5PackageTest : public ForgeTest, public ::testing::WithParamInterface<PackageKind> {};

TEST_P(Rar5PackageTest, SevenZipTestsListsAndExtractsTheDefaultPackage) {
  const PackageKind kind = GetParam();
  const auto archive = Forge(Small(kind), "package.rar");

  const ToolRun test = RunSevenZip("t " + Quote(archive));
  EXPECT_EQ(test.exit_code, 0) << test.output;
  EXPECT_NE(test.output.find("Everything is Ok"), std::string::npos) << test.output;

  const ToolRun listing = RunSevenZip("l -slt -sns " + Quote(archive));
  ASSERT_EQ(listing.exit_code, 0) << listing.output;
  EXPECT_NE(listing.output.find("\nType = Rar5"), std::string::npos) << listing.output;
  const auto items = ListedItems(listing.output);
  ASSERT_FALSE(items.empty());
  for (const std::string& required : forge::RequiredPaths(kind))
    EXPECT_NE(FindItem(items, required), nullptr) << required;
  for (const ListedItem& item : items) {
    const std::string path = item.Get("Path");
    EXPECT_TRUE(UnderAllowedRoot(kind, path)) << path;
    EXPECT_EQ(item.Get("Symbolic Link"), "") << path;
    EXPECT_EQ(item.Get("Hard Link"), "") << path;
    EXPECT_EQ(item.Get("Alternate Stream"), "-") << path;
    EXPECT_EQ(item.Get("Method").substr(0, 5), "v6:m0") << path;  // stored
  }
  // The qmlcache marker is a directory entry of its own.
  if (kind == PackageKind::kEngine) {
    const ListedItem* cache = FindItem(items, "payload/LocalAppData/DO-Rarari_vlm5/cache/qmlcache");
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(cache->Get("Folder"), "+");
  }

  // Extraction gives, byte for byte, the tree the forge lays out for "installed by hand" tests.
  const ToolRun extract = RunSevenZip("x -y -o" + Quote(In("extracted")) + " " + Quote(archive));
  ASSERT_EQ(extract.exit_code, 0) << extract.output;
  std::string error;
  ASSERT_TRUE(forge::LayOutPackageTree(Small(kind), In("laid-out"), &error)) << error;
  std::vector<std::string> extracted_files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(In("extracted"))) {
    const auto relative = std::filesystem::relative(entry.path(), In("extracted"));
    extracted_files.push_back(relative.generic_string());
    const auto twin = In("laid-out") / relative;
    ASSERT_TRUE(std::filesystem::exists(twin)) << relative;
    if (entry.is_regular_file()) {
      EXPECT_EQ(ReadAll(entry.path()), ReadAll(twin)) << relative;
    }
  }
  std::size_t laid_out = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(In("laid-out"))) {
    (void)entry;
    ++laid_out;
  }
  EXPECT_EQ(extracted_files.size(), laid_out);
}

TEST_P(Rar5PackageTest, EachOmittedRequiredPathIsMissingFromTheListingAlone) {
  const PackageKind kind = GetParam();
  const auto required = forge::RequiredPaths(kind);
  for (const std::string& omitted : required) {
    SCOPED_TRACE(omitted);
    forge::PackageOptions options = Small(kind);
    options.omitted_paths = {omitted};
    const auto items = ListArchive(Forge(options, "omitted.rar"));
    for (const std::string& path : required)
      EXPECT_EQ(FindItem(items, path) == nullptr, path == omitted) << path;
  }
}

TEST_P(Rar5PackageTest, PayloadSizeGoesIntoTheArchive) {
  const PackageKind kind = GetParam();
  forge::PackageOptions options = Small(kind);
  options.payload_bytes = 48ull << 20;
  const auto archive = Forge(options, "large.rar");
  const auto size = std::filesystem::file_size(archive);
  EXPECT_GE(size + 4096, options.payload_bytes);  // the disk is whole sectors
  EXPECT_LT(size, options.payload_bytes + (1u << 20));
  const ToolRun test = RunSevenZip("t " + Quote(archive));
  EXPECT_EQ(test.exit_code, 0) << test.output;
}

INSTANTIATE_TEST_SUITE_P(Kinds, Rar5PackageTest,
                         ::testing::Values(PackageKind::kEngine, PackageKind::kInstance),
                         [](const auto& param_info) {
                           return param_info.param == PackageKind::kEngine ? "Engine" : "Instance";
                         });

// What 7-Zip prints for each hostile entry: the property that gives it away, on the item of the
// entry's path, in the Engine package and in the instance package.
struct HostileRow {
  Hostile hostile;
  const char* engine_path;    // the item's Path as 7-Zip lists it
  const char* instance_path;
  const char* property;       // the telling property, or Path itself
  const char* value;          // nullptr: the Path is the tell
};

const HostileRow kHostileRows[] = {
    {Hostile::kTraversal, "payload/ProgramFiles/Vellmora/../../../evil.dll",
     "payload/Instances/Pie64/../../../evil.dll", "Path", nullptr},
    {Hostile::kAbsolutePath, "/evil.dll", "/evil.dll", "Path", nullptr},
    {Hostile::kDriveLetter, "C:/Windows/evil.dll", "C:/Windows/evil.dll", "Path", nullptr},
    {Hostile::kDeviceName, "payload/ProgramFiles/Vellmora/aux.txt",
     "payload/Instances/Pie64/aux.txt", "Path", nullptr},
    {Hostile::kDuplicateSpelling, "Payload/programfiles/vellmora/vellmora.exe",
     "Payload/instances/pie64/data.vhdx", "Path", nullptr},
    // The Linux 7-Zip keeps backslashes in a name as they are.
    {Hostile::kBackslashSpelling, "payload\\ProgramFiles\\Vellmora\\Vellmora.exe",
     "payload\\Instances\\Pie64\\Data.vhdx", "Path", nullptr},
    {Hostile::kNonAscii, "payload/ProgramFiles/Vellmora/Configura\xC3\xA7\xC3\xA3o.txt",
     "payload/Instances/Pie64/Configura\xC3\xA7\xC3\xA3o.txt", "Path", nullptr},
    {Hostile::kOutsideRoots, "payload/ProgramFiles/Vellmora2/x.dll",
     "payload/Instances/Pie642/x.dll", "Path", nullptr},
    {Hostile::kUnixSymlink, "payload/ProgramFiles/Vellmora/link.dll",
     "payload/Instances/Pie64/link.dll", "Symbolic Link", "../../../../../etc/passwd"},
    // The Linux 7-Zip shows a Windows link target with forward slashes.
    {Hostile::kWindowsSymlink, "payload/ProgramFiles/Vellmora/winlink.dll",
     "payload/Instances/Pie64/winlink.dll", "Symbolic Link", "C:/Windows/System32/kernel32.dll"},
    {Hostile::kJunction, "payload/ProgramFiles/Vellmora/junction",
     "payload/Instances/Pie64/junction", "Symbolic Link", "C:/Windows"},
    {Hostile::kHardLink, "payload/ProgramFiles/Vellmora/hardlink.bin",
     "payload/Instances/Pie64/hardlink.bin", "Hard Link", nullptr},
    {Hostile::kAlternateStream, "payload/ProgramFiles/Vellmora/Vellmora.exe:hidden",
     "payload/Instances/Pie64/Data.vhdx:hidden", "Alternate Stream", "+"},
};

class HostileRar5Test : public ForgeTest, public ::testing::WithParamInterface<HostileRow> {};

TEST_P(HostileRar5Test, SevenZipReportsTheHostileEntryInAnIntactArchive) {
  const HostileRow& row = GetParam();
  for (PackageKind kind : {PackageKind::kEngine, PackageKind::kInstance}) {
    const bool engine = kind == PackageKind::kEngine;
    SCOPED_TRACE(engine ? "engine" : "instance");
    forge::PackageOptions options = Small(kind);
    options.extra_entries = {forge::HostileEntry(kind, row.hostile)};
    const auto archive = Forge(options, "hostile.rar");

    const ToolRun test = RunSevenZip("t -sns " + Quote(archive));
    EXPECT_EQ(test.exit_code, 0) << test.output;
    const auto items = ListArchive(archive);
    const ListedItem* item = FindItem(items, engine ? row.engine_path : row.instance_path);
    ASSERT_NE(item, nullptr) << (engine ? row.engine_path : row.instance_path);
    if (row.hostile == Hostile::kHardLink) {
      EXPECT_EQ(item->Get(row.property), forge::RequiredPaths(kind)[1]);
    } else if (row.value != nullptr) {
      EXPECT_EQ(item->Get(row.property), row.value);
    }
    // The regular layout is all still there: only the hostile entry tells the packages apart.
    for (const std::string& required : forge::RequiredPaths(kind))
      EXPECT_NE(FindItem(items, required), nullptr) << required;
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, HostileRar5Test, ::testing::ValuesIn(kHostileRows),
                         [](const auto& param_info) {
                           std::string name = forge::HostileName(param_info.param.hostile);
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

TEST_F(ForgeTest, AlternateStreamIsAnItemOnlyWithStreamListing) {
  forge::PackageOptions options = Small(PackageKind::kEngine);
  options.extra_entries = {forge::HostileEntry(PackageKind::kEngine, Hostile::kAlternateStream)};
  const auto archive = Forge(options, "stream.rar");
  const auto without = ListArchive(archive, false);
  for (const ListedItem& item : without) EXPECT_EQ(item.Get("Alternate Stream"), "-") << item.Get("Path");
  EXPECT_EQ(FindItem(without, "payload/ProgramFiles/Vellmora/Vellmora.exe:hidden"), nullptr);
  // Extraction writes the stream's data to a file of its own name on a host without streams.
  const ToolRun extract = RunSevenZip("x -y -o" + Quote(In("out")) + " " + Quote(archive));
  ASSERT_EQ(extract.exit_code, 0) << extract.output;
  EXPECT_EQ(ReadAll(In("out/payload/ProgramFiles/Vellmora/Vellmora.exe:hidden")),
            "MZ hostile entry\r\n");
}

TEST_F(ForgeTest, RefusedPackagesLeaveNoOutput) {
  struct Case {
    forge::ExtraEntry entry;
    const char* error_part;
  };
  const Case cases[] = {
      {forge::HostileEntry(PackageKind::kEngine, Hostile::kAntiItem), "anti-items"},
      {{forge::EntryKind::kAlternateStream, "payload/ProgramFiles/Vellmora/none.dll", "s", "x"},
       "not in the package"},
  };
  for (const Case& c : cases) {
    forge::PackageOptions options = Small(PackageKind::kEngine);
    options.extra_entries = {c.entry};
    std::string error;
    EXPECT_FALSE(forge::WritePackage(options, In("refused.rar"), &error));
    EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(In("refused.rar")));
    EXPECT_FALSE(std::filesystem::exists(In("refused.rar.forge-partial")));
  }
  std::string error;
  EXPECT_FALSE(forge::WritePackage(Small(PackageKind::kEngine), In("missing/out.rar"), &error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

TEST_F(ForgeTest, SevenZipCatchesOneFlippedBitInDataOrHeader) {
  // The CRCs are real: a flipped bit in file data fails 7-Zip's test, one in a header (here a
  // file name) already fails the listing.
  struct Case {
    const char* marker;  // where the flipped byte lies
    const char* command;
    const char* report;
  };
  const Case cases[] = {
      {"<<< Oracle VM VirtualBox Disk Image >>>", "t ", "CRC Failed"},
      {"payload/Instances/Pie64/fastboot.vdi", "l -slt ", "Headers Error"},
  };
  const std::string bytes = ReadAll(Forge(Small(PackageKind::kInstance), "package.rar"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.marker);
    std::string corrupt = bytes;
    const std::size_t at = corrupt.find(c.marker);
    ASSERT_NE(at, std::string::npos);
    corrupt[at + 5] = static_cast<char>(corrupt[at + 5] ^ 0x01);
    std::ofstream(In("corrupt.rar"), std::ios::binary) << corrupt;
    const ToolRun run = RunSevenZip(c.command + Quote(In("corrupt.rar")));
    EXPECT_NE(run.exit_code, 0) << run.output;
    EXPECT_NE(run.output.find(c.report), std::string::npos) << run.output;
  }
}

}  // namespace
}  // namespace forge_test
