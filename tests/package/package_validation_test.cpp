// The checks a package passes before anything of it is extracted, on packages of the forge judged
// by the real 7-Zip: the embedded Windows one under Wine, the Linux one on the simulated machine.
#include "package/package_validation.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/path_helpers.h"
#include "app/text.h"
#include "forge/forge.h"
#include "package/archive_listing_check.h"
#include "package/archive_tool.h"
#include "package/package_layouts.h"
#include "package/package_test.h"
#include "platform/files.h"
#include "platform/system.h"
#include "support/fixture_path.h"
#include "support/log_cursor.h"

namespace vellmora::testing {
namespace {

constexpr const char* kBadPath = "archive contains an unsafe, duplicate or disallowed path";
constexpr const char* kUnsafeMetadata = "archive contains unsafe link/reparse metadata";
constexpr const char* kManifestMismatch =
    "Package manifest does not match schema 2, kind engine or contain a nonempty package version.";

class PackageValidationTest : public PackageTest {
 protected:
  void SetUp() override {
    tool_ = WriteArchiveTool();
    packages_ = machine_.In(L"packages");
    ASSERT_TRUE(MakeTestDirectories(packages_));
  }

  static forge::PackageOptions Package(forge::PackageKind kind) {
    forge::PackageOptions options;
    options.kind = kind;
    options.payload_bytes = 256 * 1024;
    return options;
  }

  // The package written into its own folder, so that a test can see what appeared beside it.
  platform::Path Forge(forge::PackageOptions options, const std::wstring& name) {
    const platform::Path folder = JoinPath(packages_, name);
    EXPECT_TRUE(MakeTestDirectories(folder));
    const platform::Path archive =
        JoinPath(folder, options.format == forge::ArchiveFormat::kSevenZip ? L"package.7z" : L"package.rar");
    options.seven_zip = FixturePath(tool_);
    std::string error;
    EXPECT_TRUE(forge::WritePackage(options, FixturePath(archive), &error)) << error;
    return archive;
  }

  bool Validate(forge::PackageKind kind, const platform::Path& archive) {
    return kind == forge::PackageKind::kEngine
               ? ValidateEnginePackage(engine_, tool_, archive, Path())
               : ValidateInstancePackage(engine_, tool_, archive, Path());
  }

  // The names in the archive's folder other than the archive itself.
  static std::string Names(const std::vector<std::wstring>& names) {
    std::string text;
    for (const auto& name : names) text += ToUtf8(name) + " ";
    return text;
  }

  // Wine closes a finished child's handles, and so deletes the listing file, a moment after the
  // child's exit is signalled; Windows and the sim have done it by then. A listing file is waited
  // for; anything else beside the archive is there to stay.
  static std::vector<std::wstring> Beside(const platform::Path& archive) {
    for (int attempt = 0;; ++attempt) {
      std::vector<platform::DirectoryEntry> entries;
      EXPECT_EQ(platform::ListDirectory(ParentPath(archive), &entries), platform::kErrorSuccess);
      std::vector<std::wstring> names;
      bool listing_file = false;
      for (const auto& entry : entries) {
        if (EqualsIgnoringCase(entry.name, LastComponent(archive))) continue;
        names.push_back(entry.name);
        listing_file = listing_file || entry.name.rfind(L"Vellmora-archive-list-", 0) == 0;
      }
      if (!listing_file || attempt == 200) return names;
      platform::Sleep(25);
    }
  }

  static std::string FailureLine(const std::string& reason, const platform::Path& archive) {
    return "ARCHIVE LAYOUT FAILURE: " + reason + " | archive=" + ToUtf8(archive);
  }

  std::wstring tool_;
  platform::Path packages_;
};

TEST_F(PackageValidationTest, ForgedPackagesPassAndLeaveNothingBehind) {
  struct Case {
    const char* name;
    forge::PackageKind kind;
    forge::ArchiveFormat format;
  };
  const Case cases[] = {
      {"engine rar5", forge::PackageKind::kEngine, forge::ArchiveFormat::kRar5},
      {"instance rar5", forge::PackageKind::kInstance, forge::ArchiveFormat::kRar5},
      {"engine 7z", forge::PackageKind::kEngine, forge::ArchiveFormat::kSevenZip},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    forge::PackageOptions options = Package(c.kind);
    options.format = c.format;
    platform::Path archive = Forge(options, L"good" + std::to_wstring(index++));
    LogCursor log;
    EXPECT_TRUE(Validate(c.kind, archive)) << log.NewText();
    EXPECT_TRUE(Beside(archive).empty()) << "listing file or validation folder left behind";
    EXPECT_TRUE(NewLogLines().empty());
  }
}

TEST_F(PackageValidationTest, EscapedReleaseIdentifierPasses) {
  forge::PackageOptions options = Package(forge::PackageKind::kEngine);
  options.escape_release_plus = true;
  EXPECT_TRUE(Validate(forge::PackageKind::kEngine, Forge(options, L"escaped")));
}

TEST_F(PackageValidationTest, HostileEntriesAreRejectedBeforeAnythingIsExtracted) {
  struct Case {
    forge::Hostile hostile;
    forge::ArchiveFormat format;
    const char* reason;
  };
  const Case cases[] = {
      {forge::Hostile::kTraversal, forge::ArchiveFormat::kRar5, kBadPath},
      {forge::Hostile::kAbsolutePath, forge::ArchiveFormat::kRar5, kBadPath},
      {forge::Hostile::kDriveLetter, forge::ArchiveFormat::kRar5, kBadPath},
      {forge::Hostile::kDeviceName, forge::ArchiveFormat::kRar5, kBadPath},
      {forge::Hostile::kDuplicateSpelling, forge::ArchiveFormat::kRar5, kBadPath},
      {forge::Hostile::kNonAscii, forge::ArchiveFormat::kRar5, kBadPath},
      {forge::Hostile::kOutsideRoots, forge::ArchiveFormat::kRar5, kBadPath},
      {forge::Hostile::kUnixSymlink, forge::ArchiveFormat::kRar5, kUnsafeMetadata},
      {forge::Hostile::kWindowsSymlink, forge::ArchiveFormat::kRar5, kUnsafeMetadata},
      {forge::Hostile::kJunction, forge::ArchiveFormat::kRar5, kUnsafeMetadata},
      {forge::Hostile::kHardLink, forge::ArchiveFormat::kRar5, kUnsafeMetadata},
      // Listed as its own item "...\Vellmora.exe:hidden", whose ':' the name rules refuse.
      {forge::Hostile::kAlternateStream, forge::ArchiveFormat::kRar5, kBadPath},
      {forge::Hostile::kAntiItem, forge::ArchiveFormat::kSevenZip, kUnsafeMetadata},
  };
  for (forge::PackageKind kind : {forge::PackageKind::kEngine, forge::PackageKind::kInstance}) {
    for (const auto& c : cases) {
      if (kind == forge::PackageKind::kInstance && c.format != forge::ArchiveFormat::kRar5) continue;
      const std::string name = std::string(kind == forge::PackageKind::kEngine ? "engine-" : "instance-") +
                               forge::HostileName(c.hostile);
      SCOPED_TRACE(name);
      forge::PackageOptions options = Package(kind);
      options.format = c.format;
      options.extra_entries.push_back(forge::HostileEntry(kind, c.hostile));
      platform::Path archive = Forge(options, FromUtf8(name));
      LogCursor log;
      EXPECT_FALSE(Validate(kind, archive));
      EXPECT_EQ(log.NewLines(), std::vector<std::string>{FailureLine(c.reason, archive)});
      EXPECT_TRUE(Beside(archive).empty())
          << "nothing may be extracted from a rejected package: " << Names(Beside(archive));
      EXPECT_TRUE(NewLogLines().empty()) << "the layout failure goes to the log file only";
    }
  }
}

TEST_F(PackageValidationTest, LayoutAndManifestFaults) {
  struct Case {
    const char* name;
    forge::PackageOptions options;
    std::string file_line;     // the one line of the log file
    std::string visible_line;  // the one visible line, or empty
  };
  forge::PackageOptions missing = Package(forge::PackageKind::kEngine);
  missing.omitted_paths = {"payload/ProgramFiles/Vellmora/KolvRT.dll"};
  forge::PackageOptions no_manifest = Package(forge::PackageKind::kEngine);
  no_manifest.omitted_paths = {"package-manifest.json"};
  forge::PackageOptions old_version = Package(forge::PackageKind::kEngine);
  old_version.manifest_version = "3.9.0.0";
  forge::PackageOptions other_release = Package(forge::PackageKind::kEngine);
  other_release.release_id = "vellmora-3.9.1.0+20261108.02";
  forge::PackageOptions nested = Package(forge::PackageKind::kEngine);
  nested.manifest_text =
      R"({"schemaVersion":2,"package":{"build":{"n":1},"kind":"engine","version":"3.9.1.0"},)"
      R"("releaseId":"vellmora-3.9.1.0+20261108.01"})";
  const Case cases[] = {
      {"required file missing", missing,
       "ARCHIVE LAYOUT FAILURE: required path missing: payload/ProgramFiles/Vellmora/KolvRT.dll", ""},
      {"manifest missing", no_manifest,
       "ARCHIVE LAYOUT FAILURE: required path missing: package-manifest.json", ""},
      {"wrong manifest version", old_version, "LOG: " + std::string(kManifestMismatch), kManifestMismatch},
      {"other release", other_release, "LOG: " + std::string(kManifestMismatch), kManifestMismatch},
      {"nested object before the version", nested, "LOG: " + std::string(kManifestMismatch),
       kManifestMismatch},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::Path archive = Forge(c.options, L"fault" + std::to_wstring(index++));
    LogCursor log;
    EXPECT_FALSE(Validate(forge::PackageKind::kEngine, archive));
    std::vector<std::string> lines = log.NewLines();
    ASSERT_EQ(lines.size(), 1u) << log.NewText();
    EXPECT_EQ(lines[0].substr(0, c.file_line.size()), c.file_line);
    std::vector<std::string> visible = NewLogLines();
    EXPECT_EQ(visible, c.visible_line.empty() ? std::vector<std::string>{}
                                              : std::vector<std::string>{c.visible_line});
    EXPECT_TRUE(Beside(archive).empty());
  }
}

TEST_F(PackageValidationTest, ListingFailuresNameTheirCause) {
  platform::Path archive = Forge(Package(forge::PackageKind::kInstance), L"listing");
  platform::Path garbage = JoinPath(packages_, L"garbage.rar");
  ASSERT_TRUE(WriteTestFile(garbage, "Rar!\x1a\x07\x01 but nothing after"));
  const auto& layout = InstancePackageLayout();
  struct Case {
    const char* name;
    platform::Path tool;
    platform::Path archive;
    std::string reason;
  };
  const Case cases[] = {
      {"no tool", machine_.In(L"missing\\7z.exe"), archive,
       "7-Zip listing could not start; Windows error "},
      {"not an archive", tool_, garbage, "7-Zip listing did not complete; wait=0, exit=2"},
      {"listing file cannot be created", tool_, machine_.In(L"no-folder\\package.rar"),
       "listing file could not be created; Windows error 3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCursor log;
    EXPECT_FALSE(CheckArchiveListing(c.tool, c.archive, layout.required_markers, layout.allowed_roots));
    std::vector<std::string> lines = log.NewLines();
    ASSERT_EQ(lines.size(), 1u) << log.NewText();
    std::string expected = FailureLine(c.reason, c.archive);
    EXPECT_EQ(lines[0].substr(0, std::string("ARCHIVE LAYOUT FAILURE: ").size() + c.reason.size()),
              expected.substr(0, std::string("ARCHIVE LAYOUT FAILURE: ").size() + c.reason.size()));
    EXPECT_NE(lines[0].find(" | archive=" + ToUtf8(c.archive)), std::string::npos);
  }
  std::vector<std::wstring> left = Beside(garbage);
  EXPECT_TRUE(std::none_of(left.begin(), left.end(), [](const std::wstring& name) {
    return name.rfind(L"Vellmora-archive-list-", 0) == 0;
  })) << "the listing file is gone after a failed listing too";
}

TEST_F(PackageValidationTest, ManifestValidationFolderMustLieBesideTheArchive) {
  platform::Path archive = Forge(Package(forge::PackageKind::kEngine), L"outside");
  platform::Path outside = machine_.In(L"elsewhere");
  ASSERT_TRUE(MakeTestDirectories(outside));
  ASSERT_TRUE(WriteTestFile(JoinPath(outside, L"keep.txt"), "keep"));
  for (const platform::Path& folder : {outside, ParentPath(archive)}) {
    SCOPED_TRACE(ToUtf8(folder));
    EXPECT_FALSE(engine_.ValidateArchiveManifest(tool_, archive, folder, "engine"));
    EXPECT_EQ(NewLogLines(),
              std::vector<std::string>{"Manifest validation path is outside the archive staging directory."});
  }
  std::string kept;
  EXPECT_TRUE(ReadTestFile(JoinPath(outside, L"keep.txt"), &kept)) << "refused before anything is removed";

  platform::Path named = JoinPath(ParentPath(archive), L"EnginePayloadValidation");
  ASSERT_TRUE(WriteTestFile(JoinPath(ParentPath(archive), L"EnginePayloadValidation.stale"), "x"));
  ASSERT_TRUE(MakeTestDirectories(JoinPath(named, L"old\\files")));
  EXPECT_TRUE(engine_.ValidateArchiveManifest(tool_, archive, named, "engine"));
  EXPECT_EQ(platform::GetFileAttributesW(named), platform::kInvalidFileAttributes)
      << "the validation folder is removed when the check ends";
}

TEST_F(PackageValidationTest, ManifestExtractionFailureLogsTheToolsOutput) {
  platform::Path garbage = JoinPath(packages_, L"garbage.rar");
  ASSERT_TRUE(WriteTestFile(garbage, "Rar!\x1a\x07\x01 but nothing after"));
  EXPECT_FALSE(engine_.ValidateArchiveManifest(tool_, garbage, Path(), "instance"));
  std::vector<std::string> lines = NewLogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Manifest extraction failed: exit=2, Windows error=0.");
  EXPECT_EQ(lines[1].rfind("Manifest extractor output: ", 0), 0u);
  EXPECT_LE(lines[1].size(), std::string("Manifest extractor output: ").size() + 1024);
  EXPECT_TRUE(Beside(garbage).empty() || Beside(garbage) == std::vector<std::wstring>{L"listing"})
      << "the ManifestValidation folder is gone";
}

TEST_F(PackageValidationTest, CommandLinesListStreamsAndNeverWriteThem) {
  EXPECT_EQ(ArchiveListingCommandLine(L"C:\\S\\7z.exe", L"C:\\S\\p.rar"),
            L"\"C:\\S\\7z.exe\" l -slt -sns \"C:\\S\\p.rar\" -bsp0 -bb0 -bd -sccUTF-8");
  EXPECT_EQ(ManifestExtractionCommandLine(L"C:\\S\\7z.exe", L"C:\\S\\p.rar", L"C:\\S\\V"),
            L"\"C:\\S\\7z.exe\" e \"C:\\S\\p.rar\" package-manifest.json -o\"C:\\S\\V\" -y -aoa -bsp0 "
            L"-bb0 -bd -sns-");
}

// The stream that a listing without "-sns" never showed is not written by the extraction either.
TEST_F(PackageValidationTest, ExtractionWritesNoAlternateStream) {
  forge::PackageOptions options = Package(forge::PackageKind::kEngine);
  options.extra_entries.push_back(
      forge::HostileEntry(forge::PackageKind::kEngine, forge::Hostile::kAlternateStream));
  platform::Path archive = Forge(options, L"stream");
  platform::Path out = machine_.In(L"extracted");
  ASSERT_TRUE(RunArchiveTool(engine_, tool_, L"x", archive, out, -1.0f, -1.0f, ""));
  platform::Path program = JoinPath(out, L"payload\\ProgramFiles\\Vellmora");
  EXPECT_NE(platform::GetFileAttributesW(JoinPath(program, L"Vellmora.exe")), platform::kInvalidFileAttributes);
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_EQ(platform::ListDirectory(program, &entries), platform::kErrorSuccess);
  for (const auto& entry : entries) EXPECT_EQ(entry.name.find(L':'), std::wstring::npos) << ToUtf8(entry.name);
  std::string stream;
  EXPECT_FALSE(ReadTestFile(JoinPath(program, L"Vellmora.exe") + L":hidden", &stream) && !stream.empty())
      << "the stream was written";
}

}  // namespace
}  // namespace vellmora::testing
