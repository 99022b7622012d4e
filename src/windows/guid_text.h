#pragma once
// GUIDs in the two forms the Engine's binaries carry them: the 16-byte Windows layout (Data1,
// Data2 and Data3 little-endian, then Data4 as written) and the 36-character 8-4-4-4-12 text, as
// 8-bit text or as UTF-16LE. Parsing is the exact inverse of formatting, so that a text rewritten
// from its binary value keeps its place and length.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vellmora {

using BinaryGuid = std::array<std::uint8_t, 16>;

inline constexpr std::size_t kGuidTextLength = 36;

// Reads 36 characters at text with a stride of 1 (8-bit text) or 2 (UTF-16LE, every high byte
// must be 0): hyphens at characters 8, 13, 18 and 23, hexadecimal digits of either case
// elsewhere. The caller guarantees 36 × stride readable bytes.
bool ParseGuidText(const std::uint8_t* text, std::size_t stride, BinaryGuid* guid);

// The 36-character text, with upper- or lower-case digits.
std::string FormatGuidText(const BinaryGuid& guid, bool upper_case);

// True when the 36 characters (same stride) hold more upper-case hexadecimal letters than
// lower-case ones; a rewritten text takes that case.
bool GuidTextIsUpperCase(const std::uint8_t* text, std::size_t stride);

// A list entry or a caller's text: 36 characters, or 38 with "{" first and "}" last.
bool ParseGuidEntry(std::string_view text, BinaryGuid* guid);

// The product's private counterpart: the binary layout XOR a fixed mask. Its own inverse.
BinaryGuid PrivateGuidOf(const BinaryGuid& original);

}  // namespace vellmora
