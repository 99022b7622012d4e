// The manifest texts, judged the way the installer reads them: as fragments of the text with
// every white-space byte removed.

#include "forge_test_support.h"

namespace forge_test {
namespace {

std::string Compact(const std::string& text) {
  std::string compact;
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r') compact.push_back(c);
  return compact;
}

// The package object: from "package":{ to the first '}' after it.
std::string PackageObject(const std::string& compact) {
  const std::size_t start = compact.find("\"package\":{");
  if (start == std::string::npos) return {};
  const std::size_t end = compact.find('}', start);
  return end == std::string::npos ? std::string() : compact.substr(start, end - start + 1);
}

constexpr char kRootDisk[] = "\"disks\":{\"root\":{\"file\":\"Root.vhd\",\"mode\":\"normal\"}";

struct ManifestRow {
  const char* name;
  forge::PackageKind kind;
  void (*change)(forge::PackageOptions*);
  std::vector<const char*> present;  // fragments of the compact text
  std::vector<const char*> absent;
  const char* package_version;
};

TEST_F(ForgeTest, ManifestsCarryTheFragmentsTheirChecksLookFor) {
  const ManifestRow rows[] = {
      {"engine", forge::PackageKind::kEngine, [](forge::PackageOptions*) {},
       {"\"schemaVersion\":2", "\"releaseId\":\"vellmora-3.9.1.0+20261108.01\""},
       {kRootDisk},
       "3.9.1.0"},
      {"engine with an escaped plus", forge::PackageKind::kEngine,
       [](forge::PackageOptions* o) { o->escape_release_plus = true; },
       {"\"releaseId\":\"vellmora-3.9.1.0\\u002B20261108.01\""},
       {"20261108.01\"\n", "+"},
       "3.9.1.0"},
      {"engine of another version", forge::PackageKind::kEngine,
       [](forge::PackageOptions* o) { o->manifest_version = "3.9.0.0"; },
       {"\"schemaVersion\":2"},
       {"\"version\":\"3.9.1.0\""},
       "3.9.0.0"},
      {"instance", forge::PackageKind::kInstance, [](forge::PackageOptions*) {},
       {"\"schemaVersion\":2", kRootDisk},
       {},
       "3.9.1.0"},
      {"instance without its root disk", forge::PackageKind::kInstance,
       [](forge::PackageOptions* o) { o->manifest_root_disk = false; },
       {"\"schemaVersion\":2"},
       {"\"disks\""},
       "3.9.1.0"},
  };
  for (const ManifestRow& row : rows) {
    SCOPED_TRACE(row.name);
    forge::PackageOptions options;
    options.kind = row.kind;
    row.change(&options);
    const std::string compact = Compact(forge::ManifestText(options));
    for (const char* fragment : row.present) EXPECT_NE(compact.find(fragment), std::string::npos) << fragment;
    for (const char* fragment : row.absent) EXPECT_EQ(compact.find(fragment), std::string::npos) << fragment;
    const std::string package = PackageObject(compact);
    const std::string kind = row.kind == forge::PackageKind::kEngine ? "engine" : "instance";
    EXPECT_NE(package.find("\"kind\":\"" + kind + "\""), std::string::npos) << package;
    EXPECT_NE(package.find(std::string("\"version\":\"") + row.package_version + "\""),
              std::string::npos)
        << package;
  }
}

TEST_F(ForgeTest, AGivenManifestTextIsWrittenAsItIs) {
  forge::PackageOptions options;
  options.manifest_text = "{ \"schemaVersion\": 2.0 }";
  std::string error;
  ASSERT_TRUE(forge::LayOutPackageTree(options, In("tree"), &error)) << error;
  EXPECT_EQ(ReadAll(In("tree/package-manifest.json")), options.manifest_text);
}

}  // namespace
}  // namespace forge_test
