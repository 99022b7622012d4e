#pragma once
// PE32+ (x64) images small enough to forge by hand and well-formed enough for the Windows loader,
// GetFileVersionInfoW and a resource reader: headers, a .text section whose entry point returns
// (0 for a program, TRUE for a library), an optional .rdata section with caller bytes, and a
// .rsrc section holding one VERSIONINFO resource. The checksum field holds the image checksum.

#include <array>
#include <cstdint>
#include <string>

namespace forge {

struct PeImageOptions {
  bool dll = false;
  std::string file_name;          // OriginalFilename and InternalName, e.g. "Vellmora.exe"
  std::string description;        // FileDescription
  std::string file_version = "3.9.1.0";
  std::string product_version = "3.9.1.0";
  std::string read_only_data;     // bytes of a .rdata section; none when empty
};

// Parses "a.b.c.d" (four decimal numbers, each at most 65535).
bool ParseFourPartVersion(const std::string& text, std::array<std::uint16_t, 4>* parts);

// The image, or an empty string when a version does not parse.
std::string MakePeImage(const PeImageOptions& options);

// The checksum CheckSumMappedFile computes: 16-bit one's-complement-style folding sum of the
// image with the checksum field counted as zero, plus the image size.
std::uint32_t PeChecksum(const std::string& image, std::size_t checksum_offset);

}  // namespace forge
