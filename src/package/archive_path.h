#pragma once
// The name rules every entry of a package archive must pass before anything is extracted, and the
// test of an entry against the roots a package may fill. Archive paths are byte strings as 7-Zip
// lists them (UTF-8 with -sccUTF-8); only printable ASCII is ever accepted.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellmora {

// Longest archive path accepted, in bytes.
inline constexpr std::size_t kMaxArchivePathBytes = 4096;

// Lower-case ASCII, forward slashes, no leading slash, at most one trailing slash (removed), no
// empty, "." or ".." component, no component ending in '.' or a blank, no reserved device stem.
// False (out untouched) when the path is not acceptable.
bool NormaliseArchivePath(std::string_view path, std::string* normalised);

// The normalised entry equals a root, lies under one, or is an ancestor directory of one. The
// root "package-manifest.json" admits only itself. An empty list admits everything; a root that
// fails the name rules admits nothing.
bool IsEntryAllowed(const std::string& entry, const std::vector<std::string>& roots);

// The roots normalised once for many entries; a root that fails the name rules stays empty.
using NormalisedRoots = std::vector<std::optional<std::string>>;
NormalisedRoots NormaliseRoots(const std::vector<std::string>& roots);
bool IsEntryAllowedIn(std::string_view entry, const NormalisedRoots& roots);

}  // namespace vellmora
