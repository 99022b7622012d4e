#include "platform/image_help.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "forge/forge.h"
#include "forge/pe_image.h"
#include "platform/sim/pe_checksum.h"
#include "support/fixture_path.h"
#include "support/test_machine.h"

namespace vellmora::testing {
namespace {

struct Sums {
  bool found = false;
  std::uint32_t header_sum = 0;
  std::uint32_t check_sum = 0;
};

Sums SystemSums(const std::string& image) {
  Sums sums;
  sums.found = platform::CheckSumMappedFile(image.data(), static_cast<std::uint32_t>(image.size()),
                                            &sums.header_sum, &sums.check_sum);
  return sums;
}

// The project's own routine, which the simulated machine uses and which must give the system's
// result wherever it runs.
std::uint32_t ProjectSum(const std::string& image) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.data());
  const std::size_t field = sim::internal::PeChecksumFieldOffset(bytes, image.size());
  EXPECT_NE(field, 0u);
  return sim::internal::PeImageChecksum(bytes, image.size(), field);
}

std::size_t FieldOffset(const std::string& image) {
  return static_cast<std::size_t>(static_cast<std::uint8_t>(image[60]) |
                                  static_cast<std::uint8_t>(image[61]) << 8) + 88;
}

TEST(ImageHelpContractTest, EveryPeFileOfTheForgedEngineHasTheSystemsChecksum) {
  TestMachine machine;
  forge::PackageOptions options;
  options.pe_read_only_data["KolvVMM.dll"] = std::string("DO-Rarari_kta5\0K\0o\0l\0v", 22);
  const std::filesystem::path tree = FixturePath(machine.In(L"engine"));
  std::string error;
  ASSERT_TRUE(forge::LayOutPackageTree(options, tree, &error)) << error;
  int images = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (image.compare(0, 2, "MZ") != 0) continue;
    ++images;
    const std::string name = entry.path().filename().string();
    // As forged, after a patch of one byte in the middle, and cut to an odd length.
    std::string patched = image;
    patched[patched.size() / 2] ^= 0x5A;
    std::string odd = image + "\x7F";
    for (const std::string* variant : {&image, &patched, &odd}) {
      const Sums sums = SystemSums(*variant);
      ASSERT_TRUE(sums.found) << name;
      const std::size_t field = FieldOffset(*variant);
      EXPECT_EQ(sums.check_sum, ProjectSum(*variant)) << name;
      EXPECT_EQ(sums.check_sum, forge::PeChecksum(*variant, field)) << name;
      EXPECT_EQ(sums.header_sum, forge::PeChecksum(image, field)) << name;
    }
    EXPECT_EQ(SystemSums(image).check_sum, SystemSums(image).header_sum) << name;
  }
  EXPECT_GE(images, 8);
}

// A header at an offset that is not a word boundary: the field straddles two words, and the system
// takes it out of the sum by its two halves all the same.
TEST(ImageHelpContractTest, AFieldOffTheWordBoundaryIsTakenOutAsTheSystemDoes) {
  for (std::uint32_t signature : {64u, 65u, 67u, 101u}) {
    std::string image(256, '\x5C');
    image[0] = 'M';
    image[1] = 'Z';
    for (int i = 0; i < 4; ++i) image[60 + i] = static_cast<char>((signature >> (8 * i)) & 0xFF);
    image.replace(signature, 4, std::string("PE\0\0", 4));
    const Sums sums = SystemSums(image);
    ASSERT_TRUE(sums.found) << signature;
    EXPECT_EQ(sums.check_sum, ProjectSum(image)) << signature;
    EXPECT_EQ(sums.header_sum, 0x5C5C5C5Cu) << signature;
  }
}

TEST(ImageHelpContractTest, BytesWithoutAPeHeaderHaveNoChecksum) {
  forge::PeImageOptions options;
  options.file_name = "Probe.exe";
  const std::string image = forge::MakePeImage(options);
  std::string no_signature = image;
  no_signature[FieldOffset(image) - 88] = 'X';
  std::string not_mz = image;
  not_mz[0] = 'N';
  for (const std::string& bytes : {no_signature, not_mz, std::string("MZ")}) {
    EXPECT_FALSE(SystemSums(bytes).found);
  }
}

}  // namespace
}  // namespace vellmora::testing
