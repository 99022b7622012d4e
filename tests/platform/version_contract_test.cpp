#include "platform/version.h"

#include <gtest/gtest.h>

#include <cstring>

#include "forge/pe_image.h"
#include "support/test_machine.h"

namespace vellmora::testing {
namespace {

TEST(VersionContractTest, FixedFileInformationOfAnImage) {
  TestMachine machine;
  forge::PeImageOptions options;
  options.file_name = "Probe.exe";
  options.file_version = "1.2.3.4";
  options.product_version = "5.6.65535.0";
  const platform::Path image = machine.In(L"Probe.exe");
  ASSERT_TRUE(WriteTestFile(image, forge::MakePeImage(options)));

  platform::Win32Error error = 1;
  std::uint32_t size = platform::GetFileVersionInfoSizeW(image, &error);
  ASSERT_GT(size, 0u);
  EXPECT_EQ(error, platform::kErrorSuccess);
  std::vector<std::uint8_t> block;
  ASSERT_EQ(platform::GetFileVersionInfoW(image, size, &block), platform::kErrorSuccess);
  const std::uint8_t* value = nullptr;
  std::uint32_t length = 0;
  ASSERT_TRUE(platform::VerQueryValueW(block, L"\\", &value, &length));
  ASSERT_GE(length, platform::kFixedFileInfoSize);
  platform::FixedFileInfo info;
  std::memcpy(&info, value, platform::kFixedFileInfoSize);
  EXPECT_EQ(info.signature, platform::kFixedFileInfoSignature);
  EXPECT_EQ(info.file_version_ms, (1u << 16) | 2u);
  EXPECT_EQ(info.file_version_ls, (3u << 16) | 4u);
  EXPECT_EQ(info.product_version_ms, (5u << 16) | 6u);
  EXPECT_EQ(info.product_version_ls, 65535u << 16);
}

TEST(VersionContractTest, FilesWithoutAVersionResource) {
  TestMachine machine;
  const platform::Path text = machine.In(L"notes.txt");
  ASSERT_TRUE(WriteTestFile(text, std::string("MZ but nothing else of an image")));
  for (const platform::Path& path : {text, machine.In(L"missing.exe")}) {
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    platform::Win32Error error = platform::kErrorSuccess;
    EXPECT_EQ(platform::GetFileVersionInfoSizeW(path, &error), 0u);
    EXPECT_NE(error, platform::kErrorSuccess);
    std::vector<std::uint8_t> block;
    EXPECT_NE(platform::GetFileVersionInfoW(path, 256, &block), platform::kErrorSuccess);
  }
  platform::Win32Error error = platform::kErrorSuccess;
  platform::GetFileVersionInfoSizeW(machine.In(L"missing.exe"), &error);
  EXPECT_EQ(error, platform::kErrorFileNotFound);
}

}  // namespace
}  // namespace vellmora::testing
