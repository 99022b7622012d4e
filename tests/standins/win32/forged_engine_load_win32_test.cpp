// The forged Engine's PE files with the stand-ins, as the Windows loader and version API see them.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <vector>

#include "forge/forge.h"

namespace {

namespace fs = std::filesystem;

TEST(ForgedEngineStandIns, EveryProgramLoadsAndReadsItsVersion) {
  const fs::path dir = fs::temp_directory_path() /
                       ("vellmora-standin-load-" + std::to_string(std::random_device{}()));
  forge::PackageOptions options;
  options.standins_dir = VELLMORA_STANDINS_DIR;
  options.payload_bytes = 0;
  std::string error;
  ASSERT_TRUE(forge::LayOutPackageTree(options, dir, &error)) << error;
  int images = 0;
  for (const auto& entry : fs::directory_iterator(dir / "payload" / "ProgramFiles" / "Vellmora")) {
    const std::wstring ext = entry.path().extension().wstring();
    if (ext != L".exe" && ext != L".dll") continue;
    ++images;
    const std::wstring path = entry.path().wstring();
    for (DWORD flags : {DWORD(LOAD_LIBRARY_AS_DATAFILE), DWORD(LOAD_LIBRARY_AS_IMAGE_RESOURCE)}) {
      HMODULE module = LoadLibraryExW(path.c_str(), nullptr, flags);
      EXPECT_NE(module, nullptr) << entry.path() << " flags " << flags;
      if (module) FreeLibrary(module);
    }
    DWORD ignored = 0;
    std::vector<unsigned char> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(block.empty()) << entry.path();
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00030009u) << entry.path();
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010000u) << entry.path();
  }
  EXPECT_EQ(images, 18);  // the eight programs of the plain Engine and the ten further ones
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
