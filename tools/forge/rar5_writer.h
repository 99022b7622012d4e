#pragma once
// A RAR 5.0 archive writer for stored (uncompressed) entries: the signature, the main archive
// header, one file header per entry with the CRC32 of its data, service headers for NTFS
// alternate streams ("STM", right after the file they belong to), file system redirection
// records for links, and the end-of-archive header. Every header carries its CRC32.

#include <filesystem>
#include <string>
#include <vector>

#include "forge/package_entries.h"

namespace forge {

bool WriteRar5(const std::vector<Entry>& entries, const std::filesystem::path& out,
               std::string* error);

// The bytes of one RAR5 variable-length integer (7 bits a byte, low bits first).
std::string Rar5Vint(std::uint64_t value);

}  // namespace forge
