#include "forge/content.h"

#include "forge/crc32.h"

namespace forge {

bool Content::Emit(const std::function<bool(std::string_view)>& sink) const {
  if (!head.empty() && !sink(head)) return false;
  constexpr std::size_t kPiece = 1u << 20;
  std::string piece;
  // xorshift64: cheap, deterministic and incompressible enough that a stored archive and a
  // download move every byte.
  std::uint64_t state = seed | 1;
  for (std::uint64_t left = filler; left > 0;) {
    const std::size_t size = left < kPiece ? static_cast<std::size_t>(left) : kPiece;
    piece.resize(size);
    for (std::size_t i = 0; i < size; i += 8) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      const std::size_t count = size - i < 8 ? size - i : 8;
      for (std::size_t b = 0; b < count; ++b)
        piece[i + b] = static_cast<char>((state >> (8 * b)) & 0xFF);
    }
    if (!sink(piece)) return false;
    left -= size;
  }
  return tail.empty() || sink(tail);
}

std::string Content::Bytes() const {
  std::string all;
  all.reserve(static_cast<std::size_t>(Size()));
  Emit([&](std::string_view piece) {
    all.append(piece);
    return true;
  });
  return all;
}

std::uint32_t Content::Crc() const {
  Crc32 crc;
  Emit([&](std::string_view piece) {
    crc.Update(piece.data(), piece.size());
    return true;
  });
  return crc.Value();
}

}  // namespace forge
