#pragma once
// Windows path arithmetic done lexically (drive paths, UNC paths and the \\?\ prefix), and the
// normalised comparison form through which every two paths of the installer are compared.

#include <string>

#include "platform/types.h"

namespace vellmora {

using platform::Path;

// An ASCII letter, as a drive letter must be.
bool IsDriveLetter(wchar_t c);
// The root name and the separators that follow it: "D:\" for D:\Games, "d:" for d:, "" for a
// relative path.
Path RootOf(const Path& path);
// Root name and root directory both present (C:\x, \\server\share\x, \\?\C:\x).
bool IsAbsolutePath(const Path& path);
// base + "\" + name, without doubling a separator that base already ends with.
Path JoinPath(const Path& base, const Path& name);
// The path without its last component and the separators before it; the root stays the root.
Path ParentPath(const Path& path);
// The last non-empty component; empty for a root.
Path LastComponent(const Path& path);
// Removes "." and ".." components and doubled separators; ".." never climbs above the root.
// Forward slashes count as separators and are written as backslashes.
Path LexicallyNormal(const Path& path);
// Removes trailing backslashes and slashes while the path is longer than three characters.
Path WithoutTrailingSeparators(const Path& path);

// The comparison form: absolute, lexically normal, without \\?\, backslashes only, lower case,
// no trailing backslash except on a drive root. Two paths are the same location when their
// keys are equal.
std::wstring PathKey(const Path& path);
// True when path lies strictly below directory (never for the directory itself).
bool IsPathInside(const Path& path, const Path& directory);

}  // namespace vellmora
