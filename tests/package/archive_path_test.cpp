#include "package/archive_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vellmora::testing {
namespace {

TEST(NormaliseArchivePathTest, AcceptedPathsTakeTheirNormalForm) {
  struct Case {
    std::string path;
    std::string normalised;
  };
  const Case cases[] = {
      {"Payload\\ProgramFiles\\x.dll", "payload/programfiles/x.dll"},
      {"payload/programfiles/x.dll", "payload/programfiles/x.dll"},
      {"a/b/", "a/b"},
      {"a", "a"},
      {"com0", "com0"},
      {"lpt10", "lpt10"},
      {"com", "com"},
      {"console.txt", "console.txt"},
      {".hidden", ".hidden"},
      {"a b/c~d#e%f", "a b/c~d#e%f"},
      {std::string(4096, 'a'), std::string(4096, 'a')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 60));
    std::string normalised = "untouched";
    ASSERT_TRUE(NormaliseArchivePath(c.path, &normalised));
    EXPECT_EQ(normalised, c.normalised);
  }
}

TEST(NormaliseArchivePathTest, UnsafePathsAreRefused) {
  const std::string cases[] = {
      "",
      std::string(4097, 'a'),
      "/x",
      "\\x",
      "/",
      "c:/x",
      "c:x",
      "a//b",
      "a/./b",
      "a/../b",
      "..",
      ".",
      "a/b/.",
      "a/b.",
      "a/b ",
      "a /b",
      "a/b//",
      "aux.txt",
      "payload/AUX",
      "lpt1",
      "Com9.log",
      "clock$.log",
      "nul",
      "prn.a.b",
      "con",
      "a\tb",
      std::string("a\0b", 3),
      "a\x7f",
      "caf\xc3\xa9",
      "a\"b",
      "a*b",
      "a<b",
      "a>b",
      "a?b",
      "a|b",
  };
  for (const auto& path : cases) {
    SCOPED_TRACE(path.substr(0, 60));
    std::string normalised = "untouched";
    EXPECT_FALSE(NormaliseArchivePath(path, &normalised));
    EXPECT_EQ(normalised, "untouched");
  }
}

TEST(IsEntryAllowedTest, EntriesLieUnderOrLeadToARoot) {
  const std::vector<std::string> roots = {"package-manifest.json", "payload/ProgramFiles/Vellmora"};
  struct Case {
    const char* entry;
    bool allowed;
  };
  const Case cases[] = {
      {"package-manifest.json", true},
      {"package-manifest.json.bak", false},
      {"package-manifest.json/x", false},
      {"payload", true},
      {"payload/programfiles", true},
      {"payload/programfiles/vellmora", true},
      {"payload/programfiles/vellmora/x.dll", true},
      {"payload/programfiles/vellmora2/x.dll", false},
      {"payload/programfiles/vellmora2", false},
      {"payload/programdata", false},
      {"payloadx", false},
      {"other.txt", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    EXPECT_EQ(IsEntryAllowed(c.entry, roots), c.allowed);
  }
}

TEST(IsEntryAllowedTest, EmptyRootsAllowEverythingAndABadRootAllowsNothing) {
  EXPECT_TRUE(IsEntryAllowed("anything/at/all", {}));
  EXPECT_FALSE(IsEntryAllowed("a/x", {"../a", "a"})) << "the bad root ends the test for all";
  EXPECT_TRUE(IsEntryAllowed("a/x", {"a", "../a"})) << "roots are tried in order";
}

}  // namespace
}  // namespace vellmora::testing
