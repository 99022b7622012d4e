#pragma once
// The Engine's binaries carry the engine's own version "2.22.1" as an 8-byte zero-padded text,
// which the private build reports as "3.0.0.1". COM identity isolation applies this to the raw
// range of each section.

#include <cstddef>
#include <string>

namespace vellmora {

// Replaces every 8-byte block "2.22.1\0\0" inside [begin, end) of bytes by "3.0.0.1\0", scanning
// left to right and going on after each replacement. A block counts only where it starts a
// version: the byte before it (inside or outside the range) is neither a digit nor ".", so that
// "12.22.1" stays as it is. Returns the count.
std::size_t PatchVersionBlocks(std::string* bytes, std::size_t begin, std::size_t end);

}  // namespace vellmora
