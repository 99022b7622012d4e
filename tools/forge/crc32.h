#pragma once
// The two CRC-32 variants the forged files carry: the IEEE one (RAR5 headers and data) and
// Castagnoli's (VHDX headers).

#include <cstddef>
#include <cstdint>

namespace forge {

class Crc32 {
 public:
  enum class Polynomial { kIeee, kCastagnoli };
  explicit Crc32(Polynomial polynomial = Polynomial::kIeee);
  void Update(const void* data, std::size_t size);
  std::uint32_t Value() const { return ~state_; }

 private:
  const void* tables_;
  std::uint32_t state_ = 0xFFFFFFFFu;
};

std::uint32_t Crc32Of(const void* data, std::size_t size);

}  // namespace forge
