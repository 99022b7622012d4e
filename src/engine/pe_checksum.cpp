#include "engine/pe_checksum.h"

#include <cstdint>

#include "platform/image_help.h"

namespace vellmora {
namespace {

constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::uint64_t kSignatureAndFileHeader = 24;
constexpr std::uint64_t kChecksumField = 88;
constexpr std::uint64_t kChecksumFieldEnd = kChecksumField + 4;
constexpr std::uint64_t kLargestChecksummedFile = 0xFFFFFFFFull;

std::uint64_t ReadLe32(const std::string& bytes, std::uint64_t at) {
  std::uint64_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = value << 8 | static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(at) + i]);
  }
  return value;
}

}  // namespace

PeChecksumUpdate UpdatePeChecksum(std::string* image) {
  const std::uint64_t size = image->size();
  if (size < kDosHeaderSize) return PeChecksumUpdate::kTruncated;
  const std::uint64_t signature = ReadLe32(*image, 60);
  if (signature + kSignatureAndFileHeader > size ||
      image->compare(static_cast<std::size_t>(signature), 4, std::string("PE\0\0", 4)) != 0) {
    return PeChecksumUpdate::kInvalidHeader;
  }
  std::uint32_t stored = 0;
  std::uint32_t computed = 0;
  if (size > kLargestChecksummedFile || size < signature + kChecksumFieldEnd ||
      !platform::CheckSumMappedFile(image->data(), static_cast<std::uint32_t>(size), &stored,
                                    &computed)) {
    return PeChecksumUpdate::kNotCalculated;
  }
  for (int i = 0; i < 4; ++i) {
    (*image)[static_cast<std::size_t>(signature + kChecksumField) + i] =
        static_cast<char>((computed >> (8 * i)) & 0xFF);
  }
  return PeChecksumUpdate::kUpdated;
}

}  // namespace vellmora
