#include "forge/crc32.h"

#include <array>

namespace forge {

namespace {

using Table = std::array<std::uint32_t, 256>;

Table MakeTable(std::uint32_t reflected_polynomial) {
  Table table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ reflected_polynomial : c >> 1;
    table[i] = c;
  }
  return table;
}

const Table kIeee = MakeTable(0xEDB88320u);
const Table kCastagnoli = MakeTable(0x82F63B78u);

}  // namespace

Crc32::Crc32(Polynomial polynomial)
    : table_(polynomial == Polynomial::kIeee ? kIeee.data() : kCastagnoli.data()) {}

void Crc32::Update(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::uint32_t c = state_;
  for (std::size_t i = 0; i < size; ++i) c = table_[(c ^ bytes[i]) & 0xFFu] ^ (c >> 8);
  state_ = c;
}

std::uint32_t Crc32Of(const void* data, std::size_t size) {
  Crc32 crc;
  crc.Update(data, size);
  return crc.Value();
}

}  // namespace forge
