#include "platform/sim/pe_checksum.h"

#include <initializer_list>

namespace sim::internal {
namespace {

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kNewHeaderOffsetField = 60;
// Signature (4), file header (20), then CheckSum at byte 64 of the optional header, the same
// place in PE32 and PE32+.
constexpr std::size_t kChecksumFromSignature = 4 + 20 + 64;

std::uint32_t ReadLe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

std::size_t PeChecksumFieldOffset(const std::uint8_t* bytes, std::size_t length) {
  if (length < kDosHeaderSize || bytes[0] != 'M' || bytes[1] != 'Z') return 0;
  // The offset is untrusted: computed in 64 bits so that a huge value cannot wrap around.
  const std::uint64_t signature = ReadLe32(bytes + kNewHeaderOffsetField);
  if (signature + kChecksumFromSignature + 4 > length) return 0;
  const std::uint8_t* pe = bytes + signature;
  if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return 0;
  return static_cast<std::size_t>(signature + kChecksumFromSignature);
}

std::uint32_t PeImageChecksum(const std::uint8_t* bytes, std::size_t length,
                              std::size_t field_offset) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < length; i += 2) {
    sum += bytes[i];
    if (i + 1 < length) sum += static_cast<std::uint32_t>(bytes[i + 1]) << 8;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  // The field is taken out of the sum the way the image help library does it, by one's-complement
  // subtraction of its two halves, which also holds when the field does not start on a word.
  const std::uint32_t stored = ReadLe32(bytes + field_offset);
  for (std::uint32_t half : {stored & 0xFFFF, stored >> 16}) {
    sum = (sum & 0xFFFF) >= half ? sum - half : (((sum & 0xFFFF) - half) & 0xFFFF) - 1;
  }
  return (sum & 0xFFFF) + static_cast<std::uint32_t>(length);
}

}  // namespace sim::internal
