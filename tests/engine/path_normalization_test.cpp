#include "engine/path_normalization.h"

#include "engine/engine_templates.h"

#include "app/path_helpers.h"
#include "app/text.h"
#include "engine/engine_test.h"
#include "forge/pe_image.h"
#include "platform/files.h"

namespace vellmora::testing {
namespace {

const std::string kLegacyInstall = "C:\\Program Files\\Pellucador_kta5";
const std::string kLegacyData = "C:\\ProgramData\\Pellucador_kta5";

std::string Doubled(const std::string& text) {
  std::string doubled;
  for (char c : text) {
    doubled += c;
    if (c == '\\') doubled += '\\';
  }
  return doubled;
}

std::string Quoted(const std::string& text) { return std::string(1, '"').append(text).append(1, '"'); }

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

// The stored checksum of a forged image and the one computed independently by the forge.
void ExpectValidChecksum(const std::string& image) {
  const std::size_t field = Le32(image, 60) + 88;
  EXPECT_EQ(Le32(image, field), forge::PeChecksum(image, field));
}

class PathNormalizationTest : public EngineTest {
 protected:
  // The runtime library and the host configuration and metadata under their new names.
  void StageMinimalRoots() {
    Write(JoinPath(pf_, L"KolvRT.dll"), "runtime");
    Write(JoinPath(pd_, L"VellmoraOX.conf"), "klv.ready=\"1\"\r\n");
    Write(JoinPath(pd_, L"Engine\\UserData\\VlmMetaData.json"), "{}");
    MakeTestDirectories(la_);
  }
  bool Normalize() { return NormalizeEnginePaths(engine_, pf_, pd_, la_); }
  // The PE image of the forged Engine file, with bytes of its own in a section.
  std::string Image(const std::string& name, const std::string& data) {
    forge::PeImageOptions options;
    options.dll = true;
    options.file_name = name;
    options.read_only_data = data;
    return forge::MakePeImage(options);
  }
};

TEST_F(PathNormalizationTest, TextFilesAreRewrittenInMappingOrderAndProtectedNamesAreNot) {
  StageMinimalRoots();
  const std::string I = Utf8InstallDir(engine_);
  const std::string D = Utf8DataDir(engine_);
  const std::string U = Utf8Profile(engine_);
  struct Case {
    const wchar_t* path;  // below the staged data root
    std::string content;
    std::string expected;
  };
  const Case cases[] = {
      // Entry 1 takes the whole legacy path before entry 7 sees its folder name.
      {L"a.conf", "dir=" + kLegacyInstall + "\\Engine\r\n", "dir=" + I + "\\Engine\r\n"},
      {L"b.txt", "E:\\Games\\Pellucador_kta5\\x", "E:\\Games\\Vellmora\\x"},
      {L"c.json", Quoted(Doubled(kLegacyData) + "\\\\Engine"), Quoted(Doubled(D) + "\\\\Engine")},
      {L"d.ini", "__OSTREVIN_USERPROFILE__|__OSTREVIN_USERPROFILE_ESCAPED__",
       U + "|" + Doubled(U)},
      {L"e.cfg", "DO-Rarari_kta5 _vlm5 pellucador.conf QorMetaData.json KolvRT.dll",
       "DO-Rarari_ovm5 _ovm5 VellmoraOX.conf VlmMetaData.json VLCore.dll"},
      // UTF-16 text has no profile tokens or doubled forms, but the namespace and file names.
      {L"f.txt", Utf16("__OSTREVIN_USERPROFILE__ " + kLegacyData + " _vlm5 pellucador.conf"),
       Utf16("__OSTREVIN_USERPROFILE__ " + D + " _ovm5 VellmoraOX.conf")},
      {L"Engine\\Manager\\KolvGlobal.xml-prev", "_vlm5", "_ovm5"},
      {L"Engine\\UserData\\VlmMetaData.json", "_vlm5", "_ovm5"},
      {L"VellmoraOX.conf", "_vlm5", "_ovm5"},
      {L"x.kolv-old", "_vlm5", "_ovm5"},
      {L"pellucador.conf", "_vlm5", "_vlm5"},
      {L"installed-engine-package-manifest.json", "_vlm5", "_vlm5"},
      {L"Engine\\Pie64\\INSTALLED-instance-package-manifest.json", "_vlm5", "_vlm5"},
      {L"Engine\\UserData\\QorMetaData.json", "_vlm5", "_vlm5"},
      {L"data.bin", "_vlm5", "_vlm5"},
      {L"notes.md", "_vlm5", "_vlm5"},
  };
  for (const Case& c : cases) Write(JoinPath(pd_, c.path), c.content);
  Write(JoinPath(la_, L"cache\\tag.txt"), "_vlm5\r\n");
  ASSERT_TRUE(Normalize()) << LogText();
  for (const Case& c : cases) EXPECT_EQ(Read(JoinPath(pd_, c.path)), c.expected) << ToUtf8(c.path);
  EXPECT_EQ(Read(JoinPath(la_, L"cache\\tag.txt")), "_ovm5\r\n");
}

TEST_F(PathNormalizationTest, InsertedPathsAreXmlEscapedInXmlFilesOnly) {
  engine_.paths.user_profile = machine_.In(L"C\\Users\\Ana&Bia");
  StageMinimalRoots();
  const std::string U = Utf8Profile(engine_);
  std::string escaped = U;
  escaped.replace(escaped.find('&'), 1, "&amp;");
  Write(JoinPath(pd_, L"Engine\\Manager\\KolvGlobal.xml"),
        "<p v=\"__OSTREVIN_USERPROFILE__\"/>");
  Write(JoinPath(pd_, L"Engine\\Pie64\\Pie64.kolv"), Utf16("<p v=\"") + Utf16(kLegacyInstall) +
                                                         Utf16("\"/>"));
  Write(JoinPath(pd_, L"profile.txt"), "__OSTREVIN_USERPROFILE__");
  ASSERT_TRUE(Normalize()) << LogText();
  EXPECT_EQ(Read(JoinPath(pd_, L"Engine\\Manager\\KolvGlobal.xml")), "<p v=\"" + escaped + "\"/>");
  EXPECT_EQ(Read(JoinPath(pd_, L"profile.txt")), U);
  // An install directory without XML specials goes in unchanged.
  EXPECT_EQ(Read(JoinPath(pd_, L"Engine\\Pie64\\Pie64.kolv")),
            Utf16("<p v=\"" + Utf8InstallDir(engine_) + "\"/>"));
}

TEST_F(PathNormalizationTest, ForgedEngineIsNormalizedWithValidChecksumsAndASecondRunWritesNothing) {
  forge::PackageOptions options;
  options.pe_read_only_data["KolvVMM.dll"] = "DO-Rarari_kta5|" + Utf16("KolvRT.dll") + "|_vlm5";
  options.pe_read_only_data["KolvRT.dll"] = "KolvRT.dll|" + Utf16("_vlm5");
  StageForgedEngine(options);
  std::string error;
  ASSERT_TRUE(MaterializeEngineTemplates(pd_, &error, engine_)) << error;
  ASSERT_TRUE(Normalize()) << LogText();

  const std::string vmm = Read(JoinPath(pf_, L"KolvVMM.dll"));
  EXPECT_NE(vmm.find("DO-Rarari_ovm5|" + Utf16("VLCore.dll") + "|_ovm5"), std::string::npos);
  ExpectValidChecksum(vmm);
  // The runtime library moved to its new name and keeps its own name inside.
  EXPECT_FALSE(Exists(JoinPath(pf_, L"KolvRT.dll")));
  const std::string core = Read(JoinPath(pf_, L"VLCore.dll"));
  EXPECT_NE(core.find("KolvRT.dll|" + Utf16("_ovm5")), std::string::npos);
  ExpectValidChecksum(core);
  EXPECT_EQ(Read(JoinPath(pf_, L"tag.txt")), "_ovm5\r\n");
  EXPECT_NE(Read(JoinPath(pd_, L"pellucador.conf.template")).find(kLegacyData), std::string::npos)
      << "a template is no text kind and keeps the original layout";
  const std::string host_config = Read(JoinPath(pd_, L"VellmoraOX.conf"));
  EXPECT_NE(host_config.find("klv.data_dir=" + Utf8DataDir(engine_) + "\r\n"), std::string::npos);
  EXPECT_NE(host_config.find("\\VlmMetaData.json"), std::string::npos);
  EXPECT_EQ(host_config.find("Pellucador"), std::string::npos) << host_config;

  // Nothing is left to change: were anything written again, the read-only files would refuse it.
  std::vector<platform::DirectoryEntry> files;
  ASSERT_EQ(platform::ListDirectory(pf_, &files), platform::kErrorSuccess);
  for (const auto& file : files) {
    platform::SetFileAttributesW(JoinPath(pf_, file.name), platform::kAttributeReadOnly);
  }
  EXPECT_TRUE(Normalize()) << LogText();
  EXPECT_EQ(Read(JoinPath(pf_, L"KolvVMM.dll")), vmm);
  for (const auto& file : files) {
    platform::SetFileAttributesW(JoinPath(pf_, file.name), platform::kAttributeNormal);
  }
}

TEST_F(PathNormalizationTest, APeTextThatWouldChangeItsLengthRefusesTheRunAndKeepsTheFile) {
  const std::string cases[] = {"Pellucador_kta5", Utf16("Pellucador_kta5"), kLegacyInstall,
                               Utf16(kLegacyData), "__OSTREVIN_USERPROFILE__"};
  for (const std::string& text : cases) {
    StageMinimalRoots();
    const platform::Path path = JoinPath(pf_, L"KolvC.dll");
    // Whatever else the mapping changed in memory, the file stays as it was.
    const std::string image = Image("KolvC.dll", "_vlm5|" + text);
    Write(path, image);
    engine_.view.log_lines.clear();
    EXPECT_FALSE(Normalize());
    EXPECT_EQ(LogText(), "Refusing to resize an embedded PE path in " + ToUtf8(path) +
                             ". The Engine package needs a fixed-size path mapping.\n");
    EXPECT_EQ(Read(path), image);
    RemoveTestTree(machine_.In(L"stage"));
  }
}

TEST_F(PathNormalizationTest, LengthChangesAreDecidedByTheBytesOfThisInstallation) {
  // A profile folder as long as its token: the entry keeps the length here.
  engine_.paths.user_profile = L"C:\\Users\\abcdefghijklmno";
  ASSERT_EQ(engine_.paths.user_profile.size(), std::string("__OSTREVIN_USERPROFILE__").size());
  StageMinimalRoots();
  const platform::Path path = JoinPath(pf_, L"KolvC.dll");
  Write(path, Image("KolvC.dll", "__OSTREVIN_USERPROFILE__"));
  ASSERT_TRUE(Normalize()) << LogText();
  const std::string patched = Read(path);
  EXPECT_NE(patched.find("C:\\Users\\abcdefghijklmno"), std::string::npos);
  ExpectValidChecksum(patched);
}

TEST_F(PathNormalizationTest, HostilePeHeadersEndInTheirLineAndLeaveTheFile) {
  std::string short_image = "MZ_vlm5";
  std::string huge_offset(128, '\0');
  huge_offset.replace(0, 2, "MZ");
  huge_offset.replace(60, 4, "\xF0\xFF\xFF\xFF");
  huge_offset.replace(100, 5, "_vlm5");
  std::string no_signature = huge_offset;
  no_signature.replace(60, 4, std::string("\x40\0\0\0", 4));
  std::string no_checksum_field = no_signature;  // "PE\0\0" at 64, but the file ends before 156
  no_checksum_field.replace(64, 4, std::string("PE\0\0", 4));
  struct Case {
    std::string image;
    std::string line;
  };
  const Case cases[] = {
      {short_image, "A portable executable is truncated: "},
      {huge_offset, "A portable executable has an invalid PE header: "},
      {no_signature, "A portable executable has an invalid PE header: "},
      {no_checksum_field, "Could not calculate the PE checksum for "},
  };
  for (const Case& c : cases) {
    StageMinimalRoots();
    const platform::Path path = JoinPath(pf_, L"hostile.bin");
    Write(path, c.image);
    engine_.view.log_lines.clear();
    EXPECT_FALSE(Normalize());
    EXPECT_EQ(LogText(), c.line + ToUtf8(path) + ".\n");
    EXPECT_EQ(Read(path), c.image);
    RemoveTestTree(machine_.In(L"stage"));
  }
}

TEST_F(PathNormalizationTest, AReparsePointInAStagedRootFailsTheRunWithItsPath) {
  StageMinimalRoots();
  const platform::Path outside = machine_.In(L"outside");
  Write(JoinPath(outside, L"victim.conf"), "_vlm5");
  const platform::Path link = JoinPath(pd_, L"Shared");
  if (!MakeJunction(link, outside)) {
    GTEST_SKIP() << "no junction can be created here";
  }
  EXPECT_FALSE(Normalize());
  EXPECT_EQ(LogText(), "Refusing to normalize Vellmora paths through a reparse point: " +
                           ToUtf8(link) + ".\n");
  EXPECT_EQ(Read(JoinPath(outside, L"victim.conf")), "_vlm5");
  platform::RemoveDirectoryW(link);
}

TEST_F(PathNormalizationTest, AFailedWriteLeavesTheWholeOldFileAndNoTemporaryFile) {
  REQUIRE_SIMULATED_MACHINE();
  StageMinimalRoots();
  const platform::Path path = JoinPath(pd_, L"VellmoraOX.conf");
  Write(path, "klv.namespace=_vlm5\r\n");
#if VELLMORA_PLATFORM_SIM
  sim::InjectFault({"write", path + L".vellmora.tmp", 1, platform::kErrorDiskFull});
#endif
  EXPECT_FALSE(Normalize());
  EXPECT_EQ(LogText(),
            "Could not write a file while normalizing Vellmora paths: " + ToUtf8(path) + ".\n");
  EXPECT_EQ(Read(path), "klv.namespace=_vlm5\r\n");
  EXPECT_FALSE(Exists(path + L".vellmora.tmp"));
}

TEST_F(PathNormalizationTest, TheRuntimeLibraryIsIsolatedOnceAndRequired) {
  StageMinimalRoots();
  platform::DeleteFileW(JoinPath(pf_, L"KolvRT.dll"));
  EXPECT_FALSE(Normalize());
  EXPECT_EQ(LogText(), "The Vellmora runtime library is missing from the staged Engine.\n");

  // An isolated library already there: the legacy one is neither copied nor deleted, nor rewritten.
  Write(JoinPath(pf_, L"KolvRT.dll"), "legacy _vlm5");
  Write(JoinPath(pf_, L"VLCore.dll"), "isolated");
  engine_.view.log_lines.clear();
  ASSERT_TRUE(Normalize()) << LogText();
  EXPECT_EQ(Read(JoinPath(pf_, L"KolvRT.dll")), "legacy _vlm5");
  EXPECT_EQ(Read(JoinPath(pf_, L"VLCore.dll")), "isolated");
}

TEST_F(PathNormalizationTest, AnOlderLayoutGetsItsHostConfigurationAndMetadataCopied) {
  Write(JoinPath(pf_, L"KolvRT.dll"), "runtime");
  MakeTestDirectories(pd_);
  EXPECT_FALSE(Normalize());
  EXPECT_EQ(LogText().rfind("Could not isolate the Vellmora host configuration: ", 0), 0u)
      << LogText();

  const platform::Path legacy_metadata = JoinPath(pd_, L"Engine\\UserData\\QorMetaData.json");
  Write(JoinPath(pd_, L"pellucador.conf"), "klv.ns=_vlm5\r\n");
  Write(legacy_metadata, "\"_vlm5\"");
  ASSERT_TRUE(Normalize()) << LogText();
  EXPECT_EQ(Read(JoinPath(pd_, L"VellmoraOX.conf")), "klv.ns=_ovm5\r\n");
  EXPECT_EQ(Read(JoinPath(pd_, L"Engine\\UserData\\VlmMetaData.json")), "\"_ovm5\"");
  EXPECT_EQ(Read(JoinPath(pd_, L"pellucador.conf")), "klv.ns=_vlm5\r\n");
  EXPECT_EQ(Read(legacy_metadata), "\"_vlm5\"");
}

TEST(EndpointProtectedTarget, RecognisesTheRetainedFilesRelativeToTheRoot) {
  struct Case {
    bool enabled;
    const wchar_t* root;
    const wchar_t* target;
    bool expected;
  };
  const Case cases[] = {
      {true, L"D:\\ProgramData\\Vellmora", L"D:\\ProgramData\\Vellmora\\pellucador.conf", true},
      {true, L"D:\\ProgramData\\Vellmora\\", L"D:\\ProgramData\\Vellmora\\PELLUCADOR.CONF", true},
      {true, L"D:\\ProgramData\\Vellmora", L"D:/ProgramData/Vellmora/Engine/UserData/QorMetaData.json",
       true},
      {true, L"\\\\?\\D:\\Data", L"\\\\?\\D:\\Data\\Engine\\Pie64\\installed-instance-package-manifest.json",
       true},
      {true, L"D:\\Data", L"D:\\Data\\installed-engine-package-manifest.json", true},
      {false, L"D:\\Data", L"D:\\Data\\pellucador.conf", false},
      {true, L"D:\\Data", L"D:\\Data\\Engine\\pellucador.conf", false},
      {true, L"D:\\Data", L"D:\\Data2\\pellucador.conf", false},
      {true, L"D:\\Data", L"D:\\Data\\VellmoraOX.conf", false},
      {true, L"D:\\Data", L"D:\\Data", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsEndpointProtectedTarget(c.enabled, c.root, c.target), c.expected)
        << ToUtf8(c.root) << " " << ToUtf8(c.target);
  }
}

}  // namespace
}  // namespace vellmora::testing
