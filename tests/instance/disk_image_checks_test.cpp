#include "instance/disk_image_checks.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <set>

#include "app/path_helpers.h"
#include "app/text.h"
#include "engine/path_mapping.h"
#include "engine/engine_test.h"
#include "forge/disk_images.h"
#include "forge/forge.h"
#include "platform/files.h"
#include "support/fixture_path.h"
#include "forge/small_files.h"

namespace vellmora::testing {
namespace {

constexpr forge::DiskUuid kCounting = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                       0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
constexpr forge::DiskUuid kOther = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80,
                                    0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, 0x01};
constexpr forge::DiskUuid kBoot = {0x2F, 0x8C, 0x41, 0x7E, 0x05, 0xB9, 0x4D, 0x63,
                                   0xA1, 0x3E, 0x9B, 0x54, 0xC8, 0x0D, 0x72, 0xE6};
constexpr char kCountingText[] = "{33221100-5544-7766-8899-AABBCCDDEEFF}";

bool IsZeroUuid(const forge::DiskUuid& uuid) {
  for (std::uint8_t byte : uuid) {
    if (byte != 0) return false;
  }
  return true;
}

// A small fixed disk: some sectors of data and the footer.
std::string Disk(const std::string& footer) { return std::string(4096, '\x5A') + footer; }

class DiskImageChecksTest : public EngineTest {
 protected:
  platform::Path Instance() { return machine_.In(L"Pie64"); }
  platform::Path RootVhd() { return JoinPath(Instance(), L"Root.vhd"); }
};

TEST_F(DiskImageChecksTest, TheFooterGivesItsUuidOrSaysWhatIsWrong) {
  std::string flipped_reserved = forge::VhdFooter(4096, kCounting);
  flipped_reserved[500] ^= 0x01;
  struct Case {
    const char* name;
    std::string content;
    bool ok;
    std::string expected;  // the UUID or the error
  };
  const Case cases[] = {
      {"valid", Disk(forge::VhdFooter(4096, kCounting)), true, kCountingText},
      {"cookie", Disk(forge::VhdFooter(4096, kCounting, forge::FooterFault::kWrongCookie)), false,
       "Root.vhd has an invalid VHD footer cookie."},
      {"checksum", Disk(forge::VhdFooter(4096, kCounting, forge::FooterFault::kWrongChecksum)),
       false, "Root.vhd has an invalid VHD footer checksum."},
      {"reserved byte", Disk(flipped_reserved), false,
       "Root.vhd has an invalid VHD footer checksum."},
      {"zero uuid", Disk(forge::VhdFooter(4096, kCounting, forge::FooterFault::kZeroUuid)), false,
       "Root.vhd has no valid disk UUID."},
      {"511 bytes", forge::VhdFooter(4096, kCounting).substr(0, 511), false,
       "Root.vhd is unreadable or has no VHD footer."},
      {"footer alone", forge::VhdFooter(0, kCounting), true, kCountingText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write(RootVhd(), c.content);
    std::string uuid = "untouched";
    std::string error;
    ASSERT_EQ(ReadVhdFooter(RootVhd(), &uuid, &error), c.ok) << error;
    EXPECT_EQ(c.ok ? uuid : error, c.expected);
    if (!c.ok) {
      EXPECT_EQ(uuid, "untouched");
    }
  }
}

TEST_F(DiskImageChecksTest, AMissingOrDirectoryRootDiskIsRefusedFirst) {
  std::string uuid, error;
  EXPECT_FALSE(ReadVhdFooter(RootVhd(), &uuid, &error));
  EXPECT_EQ(error, "Root.vhd is missing, is a directory, or is a reparse point.");
  ASSERT_TRUE(MakeTestDirectories(RootVhd()));
  error.clear();
  EXPECT_FALSE(ReadVhdFooter(RootVhd(), &uuid, &error));
  EXPECT_EQ(error, "Root.vhd is missing, is a directory, or is a reparse point.");
}

// The forged definition with its root disk's UUID text replaced everywhere by another text.
std::string DefinitionRegistering(const std::string& root_text) {
  std::string text = forge::VmDefinition("Pie64", kCounting, kBoot);
  ReplaceAllOccurrences(&text, kCountingText, root_text);
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST_F(DiskImageChecksTest, DefinitionsMustRegisterAndAttachTheFootersUuid) {
  const std::string other = forge::RegistryFormUuid(kOther);
  std::string twice = DefinitionRegistering(kCountingText);
  twice.insert(twice.find("      </HardDisks>"),
               "        <HardDisk uuid=\"" + other + "\" location=\"Root.vhd\" format=\"VHD\" "
               "type=\"Normal\"/>\r\n");
  std::string commented = DefinitionRegistering(kCountingText);
  commented += std::string("<!-- root disk ") + kCountingText + " -->\r\n";
  const std::string file = ToUtf8(JoinPath(Instance(), L"Android.kolv.in"));
  struct Case {
    const char* name;
    std::string definition;
    bool update_allowed;
    bool ok;
    std::string error;
    std::string afterwards;  // the definition's text after the call
  };
  const Case cases[] = {
      {"same disk", DefinitionRegistering(kCountingText), false, true, "",
       DefinitionRegistering(kCountingText)},
      {"lower case", DefinitionRegistering(Lower(kCountingText)), false, true, "",
       DefinitionRegistering(Lower(kCountingText))},
      {"another disk", DefinitionRegistering(other), false, false,
       std::string("Root.vhd UUID ") + kCountingText + " differs from " + other + " in " + file +
           ".",
       DefinitionRegistering(other)},
      {"another disk, updated", DefinitionRegistering(other), true, true, "",
       DefinitionRegistering(kCountingText)},
      {"another disk in lower case, updated", DefinitionRegistering(Lower(other)), true, true, "",
       DefinitionRegistering(kCountingText)},
      {"registered twice", twice, true, false,
       "Root.vhd has no unique disk UUID entry in " + file + ".", twice},
      {"without braces", DefinitionRegistering(std::string(kCountingText).substr(1, 36)), true,
       false, "Root.vhd has no unique disk UUID entry in " + file + ".",
       DefinitionRegistering(std::string(kCountingText).substr(1, 36))},
      {"mentioned a third time", commented, true, false,
       "Root.vhd must have exactly one disk registration and one attached image in " + file + ".",
       commented},
  };
  Write(RootVhd(), Disk(forge::VhdFooter(4096, kCounting)));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write(JoinPath(Instance(), L"Android.kolv.in"), c.definition);
    std::string error;
    EXPECT_EQ(SyncRootVhdUuid(Instance(), {L"Android.kolv.in"}, c.update_allowed, &error), c.ok);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(Read(JoinPath(Instance(), L"Android.kolv.in")), c.afterwards);
  }
}

TEST_F(DiskImageChecksTest, EveryListedDefinitionIsCheckedInOrderAndAbsoluteNamesStand) {
  Write(RootVhd(), Disk(forge::VhdFooter(4096, kCounting)));
  const platform::Path elsewhere = machine_.In(L"elsewhere\\Pie64.kolv");
  Write(JoinPath(Instance(), L"Pie64.kolv"), DefinitionRegistering(kCountingText));
  Write(elsewhere, DefinitionRegistering(forge::RegistryFormUuid(kOther)));
  std::string error;
  EXPECT_FALSE(SyncRootVhdUuid(Instance(), {L"Pie64.kolv", elsewhere, L"missing.kolv"}, false,
                               &error));
  EXPECT_NE(error.find("differs from"), std::string::npos) << error;
  EXPECT_TRUE(SyncRootVhdUuid(Instance(), {L"Pie64.kolv", elsewhere}, true, &error)) << error;
  EXPECT_EQ(Read(elsewhere), DefinitionRegistering(kCountingText));
  EXPECT_FALSE(SyncRootVhdUuid(Instance(), {L"Pie64.kolv", L"missing.kolv"}, true, &error));
  EXPECT_EQ(error, "Could not read " + ToUtf8(JoinPath(Instance(), L"missing.kolv")) + ".");
  // A broken footer is the answer before any definition is read.
  Write(RootVhd(), Disk(forge::VhdFooter(4096, kCounting, forge::FooterFault::kWrongCookie)));
  EXPECT_FALSE(SyncRootVhdUuid(Instance(), {L"missing.kolv"}, true, &error));
  EXPECT_EQ(error, "Root.vhd has an invalid VHD footer cookie.");
}

TEST_F(DiskImageChecksTest, ExactlyOneSystemDiskAndOneBootDiskOfTheRightKinds) {
  const std::string valid = forge::VmDefinition("Pie64", kCounting, kBoot);
  const std::string boot = "location=\"fastboot.vdi\" format=\"VDI\" type=\"Readonly\"";
  const std::string system = "location=\"Root.vhd\" format=\"VHD\" type=\"Normal\"";
  auto with = [&](const std::string& from, const std::string& to) {
    std::string text = valid;
    ReplaceAllOccurrences(&text, from, to);
    return text;
  };
  auto plus = [&](const std::string& element) {
    std::string text = valid;
    text.insert(text.find("      </HardDisks>"), "        " + element + "\r\n");
    return text;
  };
  const std::pair<const char*, std::pair<std::string, bool>> cases[] = {
      {"valid", {valid, true}},
      {"another disk besides", {plus("<HardDisk uuid=\"{X}\" location=\"Data.vhdx\" "
                                     "format=\"VHDX\" type=\"Normal\"/>"), true}},
      {"boot disk writable", {with(boot, "location=\"fastboot.vdi\" format=\"VDI\" type=\"Normal\""), false}},
      {"boot disk immutable", {with(boot, "location=\"fastboot.vdi\" format=\"VDI\" type=\"Immutable\""), false}},
      {"boot disk as VHD", {with(boot, "location=\"fastboot.vdi\" format=\"VHD\" type=\"Readonly\""), false}},
      {"second boot disk", {plus("<HardDisk uuid=\"{X}\" " + boot + "/>"), false}},
      {"system disk read-only", {with(system, "location=\"Root.vhd\" format=\"VHD\" type=\"Readonly\""), false}},
      {"system disk as VDI", {with(system, "location=\"Root.vhd\" format=\"VDI\" type=\"Normal\""), false}},
      {"second system disk", {plus("<HardDisk uuid=\"{X}\" " + system + "/>"), false}},
      {"no boot disk", {with(boot, "location=\"other.vdi\" format=\"VDI\" type=\"Readonly\""), false}},
      {"format in lower case", {with(system, "location=\"Root.vhd\" format=\"vhd\" type=\"Normal\""), false}},
  };
  const platform::Path path = JoinPath(Instance(), L"Pie64.kolv");
  for (const auto& [name, c] : cases) {
    SCOPED_TRACE(name);
    Write(path, c.first);
    EXPECT_EQ(CheckVmDiskEntries(path), c.second);
  }
  EXPECT_FALSE(CheckVmDiskEntries(JoinPath(Instance(), L"missing.kolv")));
}

// Whole forged instances, each with one thing of its disks changed, checked as the instance
// procedure checks a staged package: the footer, then both staged definitions.
TEST_F(DiskImageChecksTest, ForgedInstancesPassOrFailTheStagedChecks) {
  struct Case {
    const char* name;
    std::function<void(forge::PackageOptions*)> change;
    bool ok;
    std::string error;
  };
  const std::string definition = ToUtf8(JoinPath(machine_.In(L"tree\\payload\\Instances\\Pie64"),
                                                 L"Android.kolv.in"));
  const Case cases[] = {
      {"as forged", [](forge::PackageOptions*) {}, true, ""},
      {"a chosen size and UUID",
       [](forge::PackageOptions* o) {
         o->root_disk_bytes = 3u << 20;
         o->root_disk_uuid = kCounting;
       },
       true, ""},
      {"wrong checksum",
       [](forge::PackageOptions* o) { o->root_disk_fault = forge::FooterFault::kWrongChecksum; },
       false, "Root.vhd has an invalid VHD footer checksum."},
      {"wrong cookie",
       [](forge::PackageOptions* o) { o->root_disk_fault = forge::FooterFault::kWrongCookie; },
       false, "Root.vhd has an invalid VHD footer cookie."},
      {"no disk UUID",
       [](forge::PackageOptions* o) { o->root_disk_fault = forge::FooterFault::kZeroUuid; }, false,
       "Root.vhd has no valid disk UUID."},
      {"definitions naming another disk",
       [](forge::PackageOptions* o) {
         o->root_disk_uuid = kCounting;
         o->definition_root_uuid = kOther;
       },
       false,
       std::string("Root.vhd UUID ") + kCountingText + " differs from " +
           forge::RegistryFormUuid(kOther) + " in " + definition + "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    forge::PackageOptions options;
    options.kind = forge::PackageKind::kInstance;
    options.payload_bytes = 2u << 20;
    c.change(&options);
    const platform::Path tree = machine_.In(L"tree");
    std::string error;
    ASSERT_TRUE(forge::LayOutPackageTree(options, FixturePath(tree), &error)) << error;
    const platform::Path staged = JoinPath(tree, L"payload\\Instances\\Pie64");
    const std::vector<platform::Path> definitions = {L"Android.kolv.in", L"Pie64.kolv.template"};
    EXPECT_TRUE(CheckVmDiskEntries(JoinPath(staged, L"Android.kolv.in")));
    EXPECT_EQ(SyncRootVhdUuid(staged, definitions, false, &error), c.ok);
    EXPECT_EQ(error, c.error);
    if (options.root_disk_bytes != 0) {
      platform::FileStatus status;
      ASSERT_EQ(platform::GetFileStatus(JoinPath(staged, L"Root.vhd"), &status),
                platform::kErrorSuccess);
      EXPECT_EQ(status.size, options.root_disk_bytes + 512);
      std::string uuid;
      ASSERT_TRUE(ReadVhdFooter(JoinPath(staged, L"Root.vhd"), &uuid, &error));
      EXPECT_EQ(uuid, kCountingText);
    }
    // With updates allowed, a package whose definitions name another disk is brought in line.
    if (!IsZeroUuid(options.definition_root_uuid)) {
      EXPECT_TRUE(SyncRootVhdUuid(staged, definitions, true, &error)) << error;
      EXPECT_TRUE(SyncRootVhdUuid(staged, definitions, false, &error)) << error;
    }
    RemoveTestTree(tree);
  }
}

TEST(MacAddressTest, TwelveUpperCaseDigitsAfterThePrefixOfAUnicastAddress) {
  std::set<std::string> seen;
  for (int i = 0; i < 64; ++i) {
    const std::string mac = NewMacAddress();
    ASSERT_EQ(mac.size(), 12u) << mac;
    EXPECT_EQ(mac.substr(0, 6), "080027");
    for (char c : mac) {
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F')) << mac;
    }
    // The least significant bit of the first octet marks a group address.
    EXPECT_EQ(std::stoi(mac.substr(0, 2), nullptr, 16) & 1, 0) << mac;
    seen.insert(mac);
  }
  // Each call takes its digits from a GUID of its own: 64 calls of 2^24 values hardly collide.
  EXPECT_GT(seen.size(), 60u);
}

}  // namespace
}  // namespace vellmora::testing
