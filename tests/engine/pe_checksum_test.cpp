#include "engine/pe_checksum.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "forge/pe_image.h"
#include "platform/image_help.h"

namespace vellmora::testing {
namespace {

void PutLe32(std::string* bytes, std::size_t at, std::uint64_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Every header offset around the end of a small file: the checks stop at the right boundary, and
// a checksum is only ever written inside the file.
TEST(PeChecksum, HeaderOffsetsAreCheckedAgainstTheSizeAtEveryBoundary) {
  constexpr std::size_t kSize = 200;
  for (std::uint64_t offset = 0; offset <= kSize + 8; ++offset) {
    std::string image(kSize, '\x11');
    image[0] = 'M';
    image[1] = 'Z';
    PutLe32(&image, 60, offset);
    if (offset >= 64 && offset + 4 <= kSize) image.replace(offset, 4, std::string("PE\0\0", 4));
    const std::string before = image;
    const PeChecksumUpdate result = UpdatePeChecksum(&image);
    if (offset < 64 || offset + 24 > kSize) {
      EXPECT_EQ(result, PeChecksumUpdate::kInvalidHeader) << offset;
    } else if (offset + 92 > kSize) {
      EXPECT_EQ(result, PeChecksumUpdate::kNotCalculated) << offset;
    } else {
      ASSERT_EQ(result, PeChecksumUpdate::kUpdated) << offset;
      // The system's sum of the bytes as they were (for a word-aligned field also the forge's).
      std::uint32_t stored = 0;
      std::uint32_t computed = 0;
      ASSERT_TRUE(platform::CheckSumMappedFile(before.data(), kSize, &stored, &computed));
      if (offset % 2 == 0) {
        EXPECT_EQ(computed, forge::PeChecksum(before, offset + 88)) << offset;
      }
      std::string expected = before;
      PutLe32(&expected, offset + 88, computed);
      EXPECT_EQ(image, expected) << offset;
      continue;
    }
    EXPECT_EQ(image, before) << offset;
  }
}

TEST(PeChecksum, HugeOffsetsAndShortFilesAreRefused) {
  for (std::uint64_t offset : {0xFFFFFFFFull, 0xFFFFFFE8ull, 0x80000000ull}) {
    std::string image(128, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    PutLe32(&image, 60, offset);
    EXPECT_EQ(UpdatePeChecksum(&image), PeChecksumUpdate::kInvalidHeader) << offset;
  }
  std::string short_file = "MZ" + std::string(61, '\0');
  EXPECT_EQ(UpdatePeChecksum(&short_file), PeChecksumUpdate::kTruncated);
}

}  // namespace
}  // namespace vellmora::testing
