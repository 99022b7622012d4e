#pragma once
// The image help library's checksum of a portable executable, as the loader and the system's
// tools verify it.

#include <cstdint>

namespace platform {

// CheckSumMappedFile over the bytes of a whole file: *check_sum is the image checksum (the 16-bit
// little-endian word sum of the file with end-around carry, the optional header's CheckSum field
// left out, plus the file length), *header_sum the value that field holds now. False when the bytes
// carry no PE header with a complete CheckSum field (the system's routine then finds no header).
bool CheckSumMappedFile(const void* base, std::uint32_t length, std::uint32_t* header_sum,
                        std::uint32_t* check_sum);

}  // namespace platform
