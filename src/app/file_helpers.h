#pragma once
// Whole-file reads, atomic replacement and the reparse-point audit of extracted trees.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace vellmora {

using platform::Path;

// Every byte of the file into out; false (out untouched) when it cannot be opened, false after a
// read error. No size limit. On failure *error, when given, holds the Windows error of the call
// that failed.
bool ReadWholeFile(const Path& path, std::string* out, platform::Win32Error* error = nullptr);
bool ReadFileBytes(const Path& path, std::vector<std::uint8_t>* out,
                   platform::Win32Error* error = nullptr);

// Writes content beside the target ("<name>.vellmora.tmp") and switches it in, keeping the
// target's identity, attributes and security where it exists. On any failure the temporary file
// is gone again and the old target is untouched. The temporary file is always a new file: a
// leftover (or a link planted at its name) is removed first, never written through. On failure
// *error, when given, holds the Windows error of the call that failed (these calls set no C
// runtime error number, so that is the one number worth logging).
bool ReplaceFileAtomically(const Path& target, const std::string& content,
                           platform::Win32Error* error = nullptr);

// Removes a file or a directory with everything below it, never following a link (a link is
// removed itself) and clearing read-only attributes on the way. kErrorSuccess when nothing is left,
// also when nothing was there; otherwise the first error met (the walk goes on past it).
platform::Win32Error RemoveDirectoryTree(const Path& path);
// Creates the directory and any missing parents; kErrorSuccess when it exists as a directory
// afterwards.
platform::Win32Error CreateDirectoryWithParents(const Path& path);

// True when directory is a real directory (not a link) and nothing below it is a reparse point
// or unreadable; links are never followed.
bool IsPlainDirectoryTree(const Path& directory);

}  // namespace vellmora
