// The 7z variant, packed by the real 7-Zip from the tree the forge lays out.

#include "forge_test_support.h"

namespace forge_test {
namespace {

using forge::Hostile;
using forge::PackageKind;

forge::PackageOptions SevenZip(PackageKind kind) {
  forge::PackageOptions options;
  options.kind = kind;
  options.format = forge::ArchiveFormat::kSevenZip;
  options.payload_bytes = 256 * 1024;
  return options;
}

TEST_F(ForgeTest, SevenZipPackagesHoldTheWholeLayout) {
  for (PackageKind kind : {PackageKind::kEngine, PackageKind::kInstance}) {
    const auto archive = Forge(SevenZip(kind), "package.7z");
    const ToolRun test = RunSevenZip("t " + Quote(archive));
    EXPECT_EQ(test.exit_code, 0) << test.output;
    const ToolRun listing = RunSevenZip("l -slt -sns " + Quote(archive));
    EXPECT_NE(listing.output.find("\nType = 7z"), std::string::npos) << listing.output;
    const auto items = ListedItems(listing.output);
    for (const std::string& required : forge::RequiredPaths(kind))
      EXPECT_NE(FindItem(items, required), nullptr) << required;
    for (const ListedItem& item : items) {
      EXPECT_NE(item.Get("Anti"), "+") << item.Get("Path");
      // Paths start at the package's top, not at the scratch folder it was packed from.
      EXPECT_EQ(item.Get("Path").find("forge-tree"), std::string::npos) << item.Get("Path");
    }
  }
}

TEST_F(ForgeTest, SevenZipAntiItemIsListedAsAnti) {
  forge::PackageOptions options = SevenZip(PackageKind::kEngine);
  options.extra_entries = {forge::HostileEntry(PackageKind::kEngine, Hostile::kAntiItem)};
  const auto items = ListArchive(Forge(options, "anti.7z"));
  const ListedItem* anti = FindItem(items, "payload/ProgramFiles/Vellmora/obsolete.dll");
  ASSERT_NE(anti, nullptr);
  // 7-Zip names the property "Anti"; no "Is Anti" line exists in its technical listing.
  EXPECT_EQ(anti->Get("Anti"), "+");
  EXPECT_EQ(anti->properties.count("Is Anti"), 0u);
  EXPECT_NE(FindItem(items, "payload/ProgramFiles/Vellmora/Vellmora.exe"), nullptr);
}

TEST_F(ForgeTest, SevenZipSymlinkShowsOnlyInItsAttributes) {
  forge::PackageOptions options = SevenZip(PackageKind::kEngine);
  options.extra_entries = {forge::HostileEntry(PackageKind::kEngine, Hostile::kUnixSymlink)};
  const auto items = ListArchive(Forge(options, "link.7z"));
  const ListedItem* link = FindItem(items, "payload/ProgramFiles/Vellmora/link.dll");
  ASSERT_NE(link, nullptr);
  EXPECT_NE(link->Get("Attributes").find("lrwxrwxrwx"), std::string::npos) << link->Get("Attributes");
  EXPECT_EQ(link->properties.count("Symbolic Link"), 0u);
}

TEST_F(ForgeTest, SevenZipRefusesWhatItCannotHold) {
  for (Hostile hostile : {Hostile::kTraversal, Hostile::kAbsolutePath, Hostile::kDriveLetter,
                          Hostile::kWindowsSymlink, Hostile::kJunction, Hostile::kHardLink,
                          Hostile::kAlternateStream}) {
    SCOPED_TRACE(forge::HostileName(hostile));
    forge::PackageOptions options = SevenZip(PackageKind::kEngine);
    options.extra_entries = {forge::HostileEntry(PackageKind::kEngine, hostile)};
    std::string error;
    EXPECT_FALSE(forge::WritePackage(options, In("refused.7z"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(In("refused.7z")));
    EXPECT_FALSE(std::filesystem::exists(In("refused.7z.forge-partial.forge-tree")));
  }
  forge::PackageOptions options = SevenZip(PackageKind::kEngine);
  options.seven_zip = In("no-such-7zz");
  std::string error;
  EXPECT_FALSE(forge::WritePackage(options, In("refused.7z"), &error));
  EXPECT_NE(error.find("no 7-Zip program"), std::string::npos) << error;
}

}  // namespace
}  // namespace forge_test
