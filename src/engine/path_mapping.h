#pragma once
// The byte replacements that move a staged Engine from the side-by-side edition's layout into
// this installation's private namespace: folders, tag and renamed files, each in the UTF-8 form
// and, where the Engine's binaries hold it, the UTF-16LE form.

#include <cstddef>
#include <string>
#include <vector>

#include "app/install_paths.h"

namespace vellmora {

struct PathMappingEntry {
  std::string from;  // raw bytes: UTF-8, or UTF-16LE code units without terminator
  std::string to;
  bool utf16 = false;
  // The text of `to` before encoding (UTF-8); what goes into an XML file is this, escaped.
  std::string to_text;
  bool ChangesLength() const { return from.size() != to.size(); }
};

// The twenty entries, in the order they are applied: the namespace (install and data folders in
// plain and doubled form, the user-profile tokens, the edition's folder name, the per-user
// folder, the tag), then the renamed files. I, D and U are the installation and data
// directories and the user's profile folder.
struct PathMapping {
  std::vector<PathMappingEntry> entries;
  // The last two entries rename the runtime library, which the library itself must keep.
  static constexpr std::size_t kRuntimeLibraryEntries = 2;
};
PathMapping BuildPathMapping(const InstallPaths& paths);

// Every backslash written twice (the form a JSON string holds).
std::string EscapeBackslashes(const std::string& text);
// The text as XML character data or attribute value: & < > ' " as entities, all else unchanged.
std::string EscapeXml(const std::string& text);

// Replaces every occurrence of from in bytes by to, scanning left to right and going on after each
// inserted value (matches never overlap, a value is never matched again). Returns the count.
std::size_t ReplaceAllOccurrences(std::string* bytes, const std::string& from,
                                  const std::string& to);

}  // namespace vellmora
