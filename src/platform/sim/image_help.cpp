#include "platform/image_help.h"

#include "platform/sim/pe_checksum.h"

namespace platform {

bool CheckSumMappedFile(const void* base, std::uint32_t length, std::uint32_t* header_sum,
                        std::uint32_t* check_sum) {
  const auto* bytes = static_cast<const std::uint8_t*>(base);
  const std::size_t field = sim::internal::PeChecksumFieldOffset(bytes, length);
  if (field == 0) return false;
  *header_sum = static_cast<std::uint32_t>(bytes[field]) |
                static_cast<std::uint32_t>(bytes[field + 1]) << 8 |
                static_cast<std::uint32_t>(bytes[field + 2]) << 16 |
                static_cast<std::uint32_t>(bytes[field + 3]) << 24;
  *check_sum = sim::internal::PeImageChecksum(bytes, length, field);
  return true;
}

}  // namespace platform
