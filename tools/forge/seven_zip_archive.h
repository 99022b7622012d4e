#pragma once
// The 7z variant: the entries are laid out in a scratch folder beside the output and packed by
// the 7-Zip console program ("a -t7z", stored, links kept as links); anti-items are made by a
// second 7-Zip update after their files are removed from the folder.

#include <filesystem>
#include <string>
#include <vector>

#include "forge/package_entries.h"

namespace forge {

bool WriteSevenZip(const std::vector<Entry>& entries, const std::filesystem::path& seven_zip,
                   const std::filesystem::path& out, std::string* error);

// The 7-Zip program this build was configured with; empty when there is none.
std::filesystem::path ConfiguredSevenZip();

}  // namespace forge
