#pragma once
// The Engine's multi-instance list "VlmMetaData.json": the Pie64 entry goes into its
// "Organization" array as text, so that every other byte of the file stays as it was.

#include <string>

namespace vellmora {

// The marker of the Pie64 entry, with the spacing this system writes.
inline constexpr const char* kPie64InstanceMarker = "\"InstanceName\" : \"Pie64\"";

enum class MetadataEdit {
  kAlreadyListed,  // the file already holds the Pie64 entry; text unchanged
  kAdded,          // the entry was inserted
  kNoArray,        // no "Organization" array could be found; text unchanged
};

// Inserts the Pie64 entry before the closing bracket of the "Organization" array, with a comma
// when the array is not empty and the "ID" one above the largest ID already listed (0 for the
// first). The array and its bracket are found by a scan that skips quoted strings and their
// escapes, so brackets inside instance names never count.
MetadataEdit AddPie64ToInstanceList(std::string* text);

}  // namespace vellmora
