// The publishers' checker runs the installer's own checks and says what the installer would do.
#include "package_check/package_check.h"

#include <gtest/gtest.h>

#include "app/path_helpers.h"
#include "forge/forge.h"
#include "package/package_test.h"
#include "support/fixture_path.h"

namespace vellmora::testing {
namespace {

class PackageCheckTest : public PackageTest {
 protected:
  platform::Path Forge(const forge::PackageOptions& options, const std::wstring& name) {
    const platform::Path archive = machine_.In(name);
    std::string error;
    EXPECT_TRUE(forge::WritePackage(options, FixturePath(archive), &error)) << error;
    return archive;
  }
};

TEST_F(PackageCheckTest, VerdictAndTheInstallersLines) {
  forge::PackageOptions engine;
  engine.payload_bytes = 128 * 1024;
  forge::PackageOptions instance = engine;
  instance.kind = forge::PackageKind::kInstance;
  forge::PackageOptions linked = engine;
  linked.extra_entries.push_back(forge::HostileEntry(forge::PackageKind::kEngine, forge::Hostile::kHardLink));
  forge::PackageOptions old_manifest = instance;
  old_manifest.manifest_version = "3.9.0.0";
  struct Case {
    const char* kind;
    forge::PackageOptions options;
    int verdict;
    std::string line;  // a line the output must hold
  };
  const Case cases[] = {
      {"engine", engine, package_check::kAccepted,
       "FINISH SUCCESS: The installer would accept this engine package."},
      {"instance", instance, package_check::kAccepted,
       "FINISH SUCCESS: The installer would accept this instance package."},
      {"instance", engine, package_check::kRejected,
       "ARCHIVE LAYOUT FAILURE: archive contains an unsafe, duplicate or disallowed path"},
      {"engine", linked, package_check::kRejected,
       "ARCHIVE LAYOUT FAILURE: archive contains unsafe link/reparse metadata"},
      {"instance", old_manifest, package_check::kRejected,
       "LOG: Package manifest does not match schema 2, kind instance or contain a nonempty package "
       "version."},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(index));
    const platform::Path archive = Forge(c.options, L"package" + std::to_wstring(index++) + L".rar");
    std::string lines;
    EXPECT_EQ(package_check::CheckPackage(c.kind, archive, &lines), c.verdict);
    EXPECT_NE(lines.find("] " + c.line), std::string::npos) << lines;
    EXPECT_NE(lines.find("] BEGIN: Checking the Vellmora "), std::string::npos) << lines;
    EXPECT_EQ(lines.find("FINISH", lines.find("FINISH") + 1), std::string::npos) << "one finish";
  }
}

}  // namespace
}  // namespace vellmora::testing
