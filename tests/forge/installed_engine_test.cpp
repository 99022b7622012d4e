// An Engine "installed by hand" from the forge's payload, as the detection tests use it.

#include "forge_test_support.h"
#include "pe_reader.h"

namespace forge_test {
namespace {

bool IsRegularFile(const std::filesystem::path& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ignored));
}

TEST_F(ForgeTest, InstalledEngineHoldsWhatDetectionLooksFor) {
  forge::PackageOptions options;
  options.file_version = "3.9.0.0";
  const forge::InstalledEngineDirs dirs{In("Vellmora"), In("ProgramData/Vellmora"), In("Local")};
  std::string error;
  ASSERT_TRUE(forge::LayOutInstalledEngine(options, dirs, &error)) << error;

  for (const char* name : {"Vellmora.exe", "ProductLogo.ico", "VLCore.dll", "KolvVMM.dll",
                           "libOpenglRender.dll", "VLMServ.exe", "KolvC.dll", "KolvProxyStub.dll",
                           "RV-Common.dll", "tag.txt"})
    EXPECT_TRUE(IsRegularFile(dirs.install_dir / name)) << name;
  EXPECT_FALSE(std::filesystem::exists(dirs.install_dir / "KolvSVC.exe"));
  EXPECT_EQ(ReadAll(dirs.install_dir / "tag.txt").substr(0, 5), "_ovm5");
  EXPECT_EQ(ReadPe(ReadAll(dirs.install_dir / "VLCore.dll")).error, "");
  EXPECT_EQ(ReadPe(ReadAll(dirs.install_dir / "Vellmora.exe")).file_version,
            (std::array<std::uint16_t, 4>{3, 9, 0, 0}));

  for (const char* name : {"VellmoraOX.conf", "pellucador.conf.template",
                           "Engine/Manager/KolvGlobal.xml", "Engine/UserData/VlmMetaData.json"})
    EXPECT_TRUE(IsRegularFile(dirs.data_dir / name)) << name;
  EXPECT_EQ(ReadAll(dirs.data_dir / "installed-engine-package-manifest.json"),
            forge::ManifestText(options));
  const std::string conf = ReadAll(dirs.data_dir / "VellmoraOX.conf");
  EXPECT_EQ(conf.find("Pellucador_kta5"), std::string::npos) << conf;
  EXPECT_EQ(conf.find("_vlm5"), std::string::npos) << conf;

  const auto cache = dirs.local_app_data / "DO-Rarari_ovm5" / "cache" / "qmlcache";
  ASSERT_TRUE(std::filesystem::is_directory(cache));
  EXPECT_TRUE(IsRegularFile(cache / "08523e4e67271599f5bb2e57c07b4108dc314c3d.qmlc"));
  EXPECT_TRUE(IsRegularFile(cache / "755080695C2EB9FE522A948F55FB7FB092A25767.qmlc"));
  int units = 0;
  for (const auto& entry : std::filesystem::directory_iterator(cache))
    if (entry.is_regular_file() && entry.path().extension() == ".qmlc") ++units;
  EXPECT_GT(units, 2);
  EXPECT_FALSE(std::filesystem::exists(dirs.local_app_data / "DO-Rarari_vlm5"));
}

TEST_F(ForgeTest, OmittedPackagePathsAreMissingFromTheInstalledEngine) {
  forge::PackageOptions options;
  options.omitted_paths = {"payload/LocalAppData/DO-Rarari_vlm5/cache/qmlcache",
                           "PAYLOAD\\ProgramFiles\\Vellmora\\ProductLogo.ico"};
  const forge::InstalledEngineDirs dirs{In("Vellmora"), In("ProgramData/Vellmora"), In("Local")};
  std::string error;
  ASSERT_TRUE(forge::LayOutInstalledEngine(options, dirs, &error)) << error;
  EXPECT_FALSE(std::filesystem::exists(dirs.install_dir / "ProductLogo.ico"));
  EXPECT_TRUE(std::filesystem::exists(dirs.install_dir / "Vellmora.exe"));
  EXPECT_FALSE(std::filesystem::exists(dirs.local_app_data / "DO-Rarari_ovm5/cache/qmlcache"));
}

}  // namespace
}  // namespace forge_test
