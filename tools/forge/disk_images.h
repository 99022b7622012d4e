#pragma once
// The disk images of the Pie64 instance, as far as anything reads them: a fixed VHD whose last
// 512 bytes are the hard-disk footer (cookie, geometry, checksum, disk UUID), a dynamic VDI with
// no block allocated, and a VHDX whose file type identifier and two headers are in place.

#include <array>
#include <cstdint>
#include <string>

#include "forge/content.h"

namespace forge {

using DiskUuid = std::array<std::uint8_t, 16>;

// What is wrong with a footer, for the disk checks' failure cases.
enum class FooterFault {
  kNone,
  kWrongChecksum,  // the checksum field's lowest bit flipped
  kWrongCookie,    // "Conectix": the cookie's first letter in upper case
  kZeroUuid,       // the unique id all zero (checksum correct)
};

// The footer of a fixed disk of `disk_size` bytes (a multiple of 512).
std::string VhdFooter(std::uint64_t disk_size, const DiskUuid& uuid,
                      FooterFault fault = FooterFault::kNone);
// A fixed VHD: `disk_size` bytes of filler data, then the footer.
Content FixedVhd(std::uint64_t disk_size, const DiskUuid& uuid,
                 FooterFault fault = FooterFault::kNone);
// The UUID in the registry form the installer compares: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX},
// the first three groups little-endian.
std::string RegistryFormUuid(const DiskUuid& uuid);

std::string DynamicVdi(std::uint64_t disk_size, const DiskUuid& uuid);
std::string MinimalVhdx();

}  // namespace forge
