// The scan over listing text. Archives that 7-Zip can produce are judged through the real 7-Zip
// in archive_listing_check_test.cpp; these listings hold what no archive tool run here produces
// (CRLF line ends, empty link properties, 100 000 entries) around the header 7-Zip 26.03 prints.
#include "package/archive_listing_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/package_layouts.h"

namespace vellmora::testing {
namespace {

constexpr const char* kHeader =
    "\n7-Zip (z) 26.03 (x64) : Copyright (c) 1999-2026 Igor Pavlov : 2026-09-03\n"
    " 64-bit locale=C.UTF-8 Threads:2 OPEN_MAX:20000, ASM\n\n"
    "Scanning the drive for archives:\n1 file, 243 bytes (1 KiB)\n\n"
    "Listing archive: a.rar\n\n--\nPath = a.rar\nType = Rar5\nPhysical Size = 243\n\n"
    "----------\n";

// One item block as "l -slt" prints it, with extra property lines after the path.
std::string Item(const std::string& path, const std::string& properties = "") {
  return "Path = " + path + "\nFolder = -\nSize = 3\n" + properties +
         "Alternate Stream = -\nIs Anti = -\n\n";
}

std::string Listing(const std::vector<std::string>& paths, const std::string& tail = "") {
  std::string text = kHeader;
  for (const auto& path : paths) text += Item(path);
  return text + tail;
}

std::string Scan(const std::string& listing, const std::vector<std::string>& markers = {},
                 const std::vector<std::string>& roots = {}) {
  std::string reason;
  return ScanArchiveListing(listing, markers, roots, &reason) ? "accepted" : reason;
}

constexpr const char* kBadPath = "archive contains an unsafe, duplicate or disallowed path";
constexpr const char* kUnsafeMetadata = "archive contains unsafe link/reparse metadata";
constexpr const char* kNoEntries = "archive listing contains no entries";

TEST(ArchiveListingScanTest, EngineLayoutIsAcceptedInAnyCaseAndLineEnding) {
  const PackageLayout& layout = EnginePackageLayout();
  std::vector<std::string> paths = {"payload", "payload/ProgramFiles"};
  for (const auto& marker : layout.required_markers) paths.push_back(marker);
  paths.push_back("PAYLOAD\\LocalAppData\\DO-Rarari_vlm5\\cache\\qmlcache\\x.qmlc");
  std::string listing = Listing(paths);
  EXPECT_EQ(Scan(listing, layout.required_markers, layout.allowed_roots), "accepted");

  std::string crlf;
  for (char c : listing) crlf += c == '\n' ? std::string(" \t\r\n") : std::string(1, c);
  EXPECT_EQ(Scan(crlf, layout.required_markers, layout.allowed_roots), "accepted");
}

TEST(ArchiveListingScanTest, ReasonsInTheOrderTheScanMeetsThem) {
  struct Case {
    const char* name;
    std::string listing;
    std::string reason;
  };
  const Case cases[] = {
      {"two spellings of one path", Listing({"Payload\\ProgramFiles\\x.dll", "payload/programfiles/x.dll"}),
       kBadPath},
      {"traversal", Listing({"a/../b"}), kBadPath},
      {"archive's own path only", std::string(kHeader).substr(0, std::string(kHeader).find("------")),
       kNoEntries},
      {"no item after the separator", kHeader, kNoEntries},
      {"symbolic link without target", Listing({"a"}, Item("b", "Symbolic Link = \n")), "accepted"},
      {"symbolic link with target", Listing({"a"}, Item("b", "Symbolic Link = ../x\n")), kUnsafeMetadata},
      {"hard link", Listing({"a"}, Item("b", "Hard Link = a\n")), kUnsafeMetadata},
      {"reparse", Listing({"a"}, Item("b", "Reparse = 0C0000A0\n")), kUnsafeMetadata},
      {"reparse point", Listing({"a"}, Item("b", "Reparse Point = x\n")), kUnsafeMetadata},
      {"alternate stream item", Listing({"a"}, "Path = a:s\nAlternate Stream = +\n"), kBadPath},
      {"alternate stream flag", Listing({"a"}, "Path = b\nAlternate Stream = +\n"), kUnsafeMetadata},
      {"anti-item as 7-Zip names it", Listing({"a"}, "Path = b\nAnti = +\n"), kUnsafeMetadata},
      {"anti-item as Is Anti", Listing({"a"}, "Path = b\nIs Anti = +\n"), kUnsafeMetadata},
      {"no anti-item", Listing({"a"}, "Path = b\nAnti = -\n"), "accepted"},
      {"bad path after unsafe metadata", Listing({"a"}, Item("b", "Hard Link = a\n") + Item("/c")),
       kBadPath},
      {"unsafe metadata before the separator is archive data",
       std::string("Symbolic Link = x\n") + Listing({"a"}), "accepted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Scan(c.listing), c.reason);
  }
}

TEST(ArchiveListingScanTest, DisallowedEntryIsRefused) {
  const PackageLayout& layout = InstancePackageLayout();
  EXPECT_EQ(Scan(Listing({"payload/Instances/Pie64x/a"}), {}, layout.allowed_roots), kBadPath);
  EXPECT_EQ(Scan(Listing({"payload/Instances"}), {}, layout.allowed_roots), "accepted");
}

TEST(ArchiveListingScanTest, AtMostOneHundredThousandEntries) {
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < kMaxArchiveEntries; ++i) paths.push_back("d/" + std::to_string(i));
  std::string listing = Listing(paths);
  EXPECT_EQ(Scan(listing), "accepted");
  EXPECT_EQ(Scan(listing + Item("d/last")), kBadPath);
}

TEST(ArchiveListingScanTest, RequiredMarkers) {
  struct Case {
    std::vector<std::string> markers;
    std::string reason;
  };
  const Case cases[] = {
      {{"a|b"}, "accepted"},
      {{"B"}, "accepted"},
      {{"x|b"}, "accepted"},
      {{"b|"}, "accepted"},
      {{"x|"}, "required path marker is invalid"},
      {{"b", ""}, "required path marker is empty"},
      {{"x|../b"}, "required path marker is invalid"},
      {{"b", "Payload/Missing|Other"}, "required path missing: Payload/Missing|Other"},
  };
  std::string listing = Listing({"b", "c/d"});
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.markers));
    EXPECT_EQ(Scan(listing, c.markers), c.reason);
  }
}

}  // namespace
}  // namespace vellmora::testing
