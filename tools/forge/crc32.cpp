#include "forge/crc32.h"


namespace forge {

namespace {

// Eight tables, so that a package of hundreds of MiB is summed eight bytes at a time.
// Plain arrays: the debug build the forge usually runs as does not inline std::array access.
struct Table {
  std::uint32_t t[8][256];
};

Table MakeTable(std::uint32_t reflected_polynomial) {
  Table table{};
  auto& t = table.t;
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ reflected_polynomial : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (std::size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFu];
  return table;
}

const Table kIeee = MakeTable(0xEDB88320u);
const Table kCastagnoli = MakeTable(0x82F63B78u);

}  // namespace

Crc32::Crc32(Polynomial polynomial)
    : tables_(polynomial == Polynomial::kIeee ? &kIeee : &kCastagnoli) {}

void Crc32::Update(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  const auto& t = static_cast<const Table*>(tables_)->t;
  std::uint32_t c = state_;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    c ^= std::uint32_t{bytes[i]} | std::uint32_t{bytes[i + 1]} << 8 |
         std::uint32_t{bytes[i + 2]} << 16 | std::uint32_t{bytes[i + 3]} << 24;
    c = t[7][c & 0xFFu] ^ t[6][(c >> 8) & 0xFFu] ^ t[5][(c >> 16) & 0xFFu] ^ t[4][c >> 24] ^
        t[3][bytes[i + 4]] ^ t[2][bytes[i + 5]] ^ t[1][bytes[i + 6]] ^ t[0][bytes[i + 7]];
  }
  for (; i < size; ++i) c = t[0][(c ^ bytes[i]) & 0xFFu] ^ (c >> 8);
  state_ = c;
}

std::uint32_t Crc32Of(const void* data, std::size_t size) {
  Crc32 crc;
  crc.Update(data, size);
  return crc.Value();
}

}  // namespace forge
