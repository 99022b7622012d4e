#pragma once
// Writes entries as files and directories under a folder, the way extraction would lay them out.

#include <filesystem>
#include <string>
#include <vector>

#include "forge/package_entries.h"

namespace forge {

// Only kFile and kDirectory entries, and (for the 7z variant) Unix symbolic links and hard
// links, which the host file system can hold. A path that would leave `dir` is refused.
bool WriteTree(const std::vector<Entry>& entries, const std::filesystem::path& dir,
               std::string* error);

bool WriteContent(const Content& content, const std::filesystem::path& file, std::string* error);

}  // namespace forge
