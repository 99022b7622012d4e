// The forged programs and libraries, read back by an independent PE reader.

#include <fstream>

#include "forge_test_support.h"
#include "pe_reader.h"

namespace forge_test {
namespace {

using Version = std::array<std::uint16_t, 4>;

std::filesystem::path EngineTree(const std::filesystem::path& dir,
                                 const forge::PackageOptions& options) {
  std::string error;
  EXPECT_TRUE(forge::LayOutPackageTree(options, dir, &error)) << error;
  return dir / "payload" / "ProgramFiles" / "Vellmora";
}

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

TEST_F(ForgeTest, EveryEngineProgramIsAWellFormedPe32PlusWithItsVersionResource) {
  const auto dir = EngineTree(In("tree"), forge::PackageOptions{});
  int images = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    const std::string extension = entry.path().extension().string();
    if (extension != ".exe" && extension != ".dll") continue;
    SCOPED_TRACE(name);
    ++images;
    const std::string image = ReadAll(entry.path());
    const PeFacts facts = ReadPe(image);
    ASSERT_EQ(facts.error, "");
    EXPECT_EQ(facts.machine, 0x8664);
    EXPECT_EQ(facts.optional_magic, 0x20B);
    EXPECT_TRUE(facts.characteristics & 0x0002);  // executable image
    EXPECT_EQ((facts.characteristics & 0x2000) != 0, extension == ".dll");
    EXPECT_NE(facts.entry_point, 0u);
    EXPECT_EQ(facts.stored_checksum, facts.computed_checksum);
    EXPECT_EQ(facts.fixed_signature, 0xFEEF04BDu);
    EXPECT_EQ(facts.file_version, (Version{3, 9, 1, 0}));
    EXPECT_EQ(facts.product_version, (Version{3, 9, 1, 0}));
    EXPECT_EQ(facts.translation_key, "040904B0");
    EXPECT_EQ(facts.strings.at("OriginalFilename"), name);
    EXPECT_EQ(facts.strings.at("FileVersion"), "3.9.1.0");
    EXPECT_EQ(facts.strings.at("ProductVersion"), "3.9.1.0");
    // The namespace rewrite must never find the original edition's texts in a PE file: it
    // would have to change the file's size.
    for (const char* text : {"_kta5", "Pellucador", "_vlm5", "DO-Rarari", "pellucador.conf"}) {
      EXPECT_EQ(image.find(text), std::string::npos) << text;
      EXPECT_EQ(image.find(Utf16(text)), std::string::npos) << text;
    }
  }
  EXPECT_EQ(images, 8);
}

struct VersionRow {
  const char* file_version;
  const char* product_version;
  Version file;
  Version product;
};

TEST_F(ForgeTest, VellmoraExeCarriesTheRequestedVersions) {
  const VersionRow rows[] = {
      {"3.9.0.0", "3.9.1.0", {3, 9, 0, 0}, {3, 9, 1, 0}},
      {"3.9.1.0", "3.9.1.1", {3, 9, 1, 0}, {3, 9, 1, 1}},
      {"65535.0.65535.1", "0.0.0.0", {65535, 0, 65535, 1}, {0, 0, 0, 0}},
  };
  for (const VersionRow& row : rows) {
    SCOPED_TRACE(row.file_version);
    forge::PackageOptions options;
    options.file_version = row.file_version;
    options.product_version = row.product_version;
    std::filesystem::remove_all(In("tree"));
    const PeFacts facts = ReadPe(ReadAll(EngineTree(In("tree"), options) / "Vellmora.exe"));
    ASSERT_EQ(facts.error, "");
    EXPECT_EQ(facts.file_version, row.file);
    EXPECT_EQ(facts.product_version, row.product);
    EXPECT_EQ(facts.strings.at("FileVersion"), row.file_version);
    EXPECT_EQ(facts.strings.at("ProductVersion"), row.product_version);
  }
}

TEST_F(ForgeTest, RequestedBytesLandInTheNamedProgramAlone) {
  const std::string pattern = std::string("KolvSVC.exe\0C:\\Program Files\\Pellucador_kta5\0", 46);
  forge::PackageOptions options;
  options.pe_read_only_data["KolvRT.dll"] = pattern;
  const auto dir = EngineTree(In("tree"), options);
  const std::string runtime = ReadAll(dir / "KolvRT.dll");
  const PeFacts facts = ReadPe(runtime);
  ASSERT_EQ(facts.error, "");
  EXPECT_EQ(facts.stored_checksum, facts.computed_checksum);
  EXPECT_EQ(facts.strings.at("OriginalFilename"), "KolvRT.dll");
  EXPECT_NE(runtime.find(pattern), std::string::npos);
  EXPECT_NE(runtime.find(std::string(".rdata\0\0", 8)), std::string::npos);
  EXPECT_EQ(ReadAll(dir / "KolvC.dll").find("Pellucador"), std::string::npos);
}

TEST_F(ForgeTest, VersionsThatAreNotFourNumbersAreRefused) {
  for (const char* version : {"3.9.1", "3.9.1.0.0", "3.9.65536.0", "3.9.x.0", "", "3..1.0"}) {
    SCOPED_TRACE(version);
    forge::PackageOptions options;
    options.file_version = version;
    std::string error;
    EXPECT_FALSE(forge::WritePackage(options, In("bad.rar"), &error));
    EXPECT_NE(error.find("Vellmora.exe"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(In("bad.rar")));
  }
}

}  // namespace
}  // namespace forge_test
