#pragma once
// The entries of a forged package in archive order: each directory before what it holds, an
// alternate stream right after the file it belongs to, the extra entries after the regular
// layout.

#include <string>
#include <vector>

#include "forge/content.h"
#include "forge/forge.h"

namespace forge {

struct Entry {
  EntryKind kind = EntryKind::kFile;
  std::string path;    // archive path, forward slashes
  std::string target;  // link target or stream name
  Content content;
};

// The regular layout, after the omissions: what extraction of a valid package gives.
bool RegularEntries(const PackageOptions& options, std::vector<Entry>* entries,
                    std::string* error);
// The regular layout followed by the extra entries.
bool PackageEntries(const PackageOptions& options, std::vector<Entry>* entries,
                    std::string* error);

// Lower case (ASCII), forward slashes, no trailing slash: how omissions and streams find paths.
std::string ComparablePath(const std::string& path);

}  // namespace forge
