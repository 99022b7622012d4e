#include "package/package_manifest.h"
#include "package/package_manifest_text.h"

#include <gtest/gtest.h>

#include <string>

#include "app/path_helpers.h"
#include "support/test_machine.h"

namespace vellmora::testing {
namespace {

const std::string kEngine =
    R"({"schemaVersion":2,"package":{"kind":"engine","version":"3.9.1.0"},)"
    R"("releaseId":"vellmora-3.9.1.0+20261108.01"})";
const std::string kInstance =
    R"({"schemaVersion":2,"package":{"kind":"instance","version":"3.9.1.0"},)"
    R"("disks":{"root":{"file":"Root.vhd","mode":"normal"},"data":{"file":"Data.vhdx"}}})";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(ManifestTextTest, FragmentsOfTheCompactText) {
  struct Case {
    const char* name;
    std::string text;
    const char* kind;
    bool matches;
  };
  const Case cases[] = {
      {"engine", kEngine, "engine", true},
      {"instance", kInstance, "instance", true},
      {"engine as instance", kEngine, "instance", false},
      {"instance as engine (no release)", Replaced(kInstance, "instance", "engine"), "engine", false},
      {"indented over lines",
       "{\r\n  \"schemaVersion\": 2,\n\t\"package\": {\n    \"kind\": \"engine\",\n"
       "    \"version\": \"3.9.1.0\"\n  },\n  \"releaseId\": \"vellmora-3.9.1.0+20261108.01\"\n}\n",
       "engine", true},
      {"blank inside the kind", Replaced(kEngine, "\"engine\"", "\"eng ine\""), "engine", true},
      {"blank inside the version", Replaced(kEngine, "3.9.1.0\"", "3.9.1.0 \""), "engine", true},
      {"release with \\u002B", Replaced(kEngine, "+", "\\u002B"), "engine", true},
      {"release with \\u002b", Replaced(kEngine, "+", "\\u002b"), "engine", false},
      {"other release", Replaced(kEngine, "20261108.01", "20261108.02"), "engine", false},
      {"nested object before version",
       Replaced(kEngine, "\"kind\"", "\"extra\":{\"a\":1},\"kind\""), "engine", false},
      {"version after the package object",
       Replaced(kInstance, ",\"version\":\"3.9.1.0\"}", "},\"version\":\"3.9.1.0\""), "instance", false},
      {"schema written as a string", Replaced(kEngine, ":2,", ":\"2\","), "engine", false},
      {"schema 3", Replaced(kEngine, ":2,", ":3,"), "engine", false},
      {"three numbers", Replaced(kEngine, "3.9.1.0\"}", "3.9.1\"}"), "engine", false},
      {"five numbers", Replaced(kEngine, "3.9.1.0\"}", "3.9.1.0.0\"}"), "engine", false},
      {"empty version", Replaced(kEngine, "3.9.1.0\"}", "\"}"), "engine", false},
      {"unterminated version", R"({"schemaVersion":2,"package":{"kind":"instance","version":"3.9.1.0})",
       "instance", false},
      {"no package object", R"({"schemaVersion":2,"kind":"instance","version":"3.9.1.0"})", "instance",
       false},
      {"unclosed package object", R"({"schemaVersion":2,"package":{"kind":"instance","version":"3.9.1.0")",
       "instance", false},
      {"empty", "", "engine", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ManifestTextMatches(c.text, c.kind), c.matches);
  }
}

TEST(ManifestFileTest, RootDiskNeedsItsExactFragment) {
  TestMachine machine;
  struct Case {
    const char* name;
    std::string text;
    bool matches;
    bool root_disk;
  };
  const Case cases[] = {
      {"instance with root disk", kInstance, true, true},
      {"without disks", Replaced(kInstance, R"("disks":{"root":{"file":"Root.vhd","mode":"normal"},"data":{"file":"Data.vhdx"}})", R"("name":"Pie64")"),
       true, false},
      {"mode before file",
       Replaced(kInstance, R"("file":"Root.vhd","mode":"normal")", R"("mode":"normal","file":"Root.vhd")"),
       true, false},
      {"engine manifest", kEngine, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::Path file = machine.In(L"package-manifest.json");
    ASSERT_TRUE(WriteTestFile(file, c.text));
    EXPECT_EQ(ManifestMatches(file, "instance"), c.matches);
    EXPECT_EQ(InstanceManifestHasRootDisk(file), c.root_disk);
  }
  EXPECT_FALSE(ManifestMatches(machine.In(L"missing.json"), "instance"));
  EXPECT_FALSE(InstanceManifestHasRootDisk(machine.In(L"missing.json")));
}

}  // namespace
}  // namespace vellmora::testing
