#pragma once
// The image checksum of an Engine binary whose bytes were patched: recomputed with the image help
// library's routine and stored in the optional header, so that the loader and signature tools see
// a consistent image.

#include <string>

namespace vellmora {

enum class PeChecksumUpdate {
  kUpdated,
  kTruncated,         // fewer than 64 bytes
  kInvalidHeader,     // no "PE\0\0" with a file header at the offset stored at byte 60
  kNotCalculated,     // over 4 GiB - 1, no room for the CheckSum field, or the routine failed
};

// Stores the checksum of the image at signature offset + 88. The offsets in the header are
// untrusted and are checked against the size in 64 bits before use.
PeChecksumUpdate UpdatePeChecksum(std::string* image);

}  // namespace vellmora
