// The forge puts the built stand-ins into the Engine on request, and their bytes obey what the
// Engine preparation needs of every PE file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "forge/forge.h"
#include "standin_support.h"

namespace {

namespace fs = std::filesystem;

std::string FileBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string Utf16(const std::string& text) {
  std::string wide;
  for (char c : text) wide += std::string{c, '\0'};
  return wide;
}

class ForgedEngineTree : public ::testing::Test {
 protected:
  ForgedEngineTree()
      : dir_(fs::temp_directory_path() /
             ("vellmora-standin-forge-" + std::to_string(std::random_device{}()))) {}
  ~ForgedEngineTree() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path ProgramFiles() const { return dir_ / "payload" / "ProgramFiles" / "Vellmora"; }
  const fs::path dir_;
};

TEST_F(ForgedEngineTree, HoldsTheStandInsAndTheFurtherComBinaries) {
  forge::PackageOptions options;
  options.standins_dir = VELLMORA_STANDINS_DIR;
  options.payload_bytes = 0;
  std::string error;
  ASSERT_TRUE(forge::LayOutPackageTree(options, dir_, &error)) << error;
  for (const char* name : {"Vellmora.exe", "KolvSVC.exe", "KolvC.dll", "KolvProxyStub.dll",
                           "KolvRT.dll", "RV-Common.dll", "RV-MultiInstanceManager.exe",
                           "KolvVMMgr.exe", "VBoxCAPI.dll", "KolvTypeLib.dll", "RV-Apn.dll"})
    EXPECT_EQ(FileBytes(ProgramFiles() / name), standin_test::StandInBytes(name)) << name;
  EXPECT_FALSE(fs::exists(ProgramFiles() / "KolvSVC-NoServe.exe"));
}

TEST_F(ForgedEngineTree, KeepsPlainImagesWhereTheStandInsCannotServe) {
  forge::PackageOptions options;
  options.standins_dir = VELLMORA_STANDINS_DIR;
  options.payload_bytes = 0;
  options.file_version = "3.9.0.0";
  options.pe_read_only_data["KolvC.dll"] = "probe";
  std::string error;
  ASSERT_TRUE(forge::LayOutPackageTree(options, dir_, &error)) << error;
  EXPECT_NE(FileBytes(ProgramFiles() / "Vellmora.exe"), standin_test::StandInBytes("Vellmora.exe"));
  EXPECT_NE(FileBytes(ProgramFiles() / "KolvC.dll").find("probe"), std::string::npos);
  EXPECT_EQ(FileBytes(ProgramFiles() / "KolvSVC.exe"), standin_test::StandInBytes("KolvSVC.exe"));

  // Without stand-ins the Engine is the plain one, without the further binaries.
  fs::remove_all(dir_);
  ASSERT_TRUE(forge::LayOutPackageTree(forge::PackageOptions{}, dir_, &error)) << error;
  EXPECT_FALSE(fs::exists(ProgramFiles() / "VBoxCAPI.dll"));
  EXPECT_NE(FileBytes(ProgramFiles() / "KolvSVC.exe"), standin_test::StandInBytes("KolvSVC.exe"));
}

TEST(StandInBytes, NoStandInHoldsATextWhoseNormalisationChangesItsLength) {
  for (const auto& entry : fs::directory_iterator(VELLMORA_STANDINS_DIR)) {
    const std::string bytes = FileBytes(entry.path());
    ASSERT_EQ(bytes.compare(0, 2, "MZ"), 0) << entry.path();
    for (const std::string text : {"Pellucador_kta5", "Pellucador", "__OSTREVIN_USERPROFILE",
                                   "C:\\ProgramData\\Pellucador", "pellucador.conf", "_vlm5"})
      for (const std::string& form : {text, Utf16(text)})
        EXPECT_EQ(bytes.find(form), std::string::npos) << entry.path() << " holds " << text;
  }
}

}  // namespace
