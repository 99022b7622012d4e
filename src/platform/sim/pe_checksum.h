#pragma once
// The PE image checksum written from the format's definition, for the simulated machine's image
// help. Plain C++ without the machine, so that the Windows contract suite can hold it against the
// system's CheckSumMappedFile.

#include <cstddef>
#include <cstdint>

namespace sim::internal {

// The offset of the optional header's CheckSum field, or 0 when the bytes carry no "MZ" header,
// no "PE\0\0" signature at the offset stored at byte 60, or no room for the field.
std::size_t PeChecksumFieldOffset(const std::uint8_t* bytes, std::size_t length);

// The 16-bit little-endian word sum with end-around carry of the bytes (an odd last byte counts as
// a word of its own), the value of the 4 bytes at field_offset taken out again, plus the length.
std::uint32_t PeImageChecksum(const std::uint8_t* bytes, std::size_t length,
                              std::size_t field_offset);

}  // namespace sim::internal
