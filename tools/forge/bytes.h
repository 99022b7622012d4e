#pragma once
// Little- and big-endian field writers for the binary formats the forge lays out.

#include <cstdint>
#include <string>

namespace forge {

inline void PutLe(std::string* out, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline void PutBe(std::string* out, std::uint64_t value, int size) {
  for (int i = size - 1; i >= 0; --i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Overwrites `size` bytes at `offset` (which must exist) with a little-endian value.
inline void SetLe(std::string* out, std::size_t offset, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i)
    (*out)[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void SetBe(std::string* out, std::size_t offset, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i)
    (*out)[offset + i] = static_cast<char>((value >> (8 * (size - 1 - i))) & 0xFF);
}

// ASCII text as UTF-16LE code units, without a terminator.
inline std::string Utf16Le(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

}  // namespace forge
