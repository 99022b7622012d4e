#pragma once
// Removing and copying whole trees without ever acting through a link. The installer runs
// elevated on folders that ordinary users can write: a junction or symbolic link planted inside a
// tree must never lead a removal or a copy to its target.

#include "app/file_helpers.h"
#include "platform/types.h"

namespace vellmora {

using platform::Path;
using platform::Win32Error;

// Renames from to to (flags 0: never replacing anything, so that a name that appeared meanwhile
// makes the rename fail instead of receiving the tree), retried on transient errors. *error and
// *attempts (either may be null) describe the last attempt.
bool RenameRetried(const Path& from, const Path& to, Win32Error* error, int* attempts);

// Removes path and everything below it. A junction or symbolic link, at the top or anywhere
// below, is removed as the link itself and its target is never entered. Read-only files are made
// writable first. Stops at the first error and returns it (kErrorFileNotFound when path is
// missing); what was removed before stays removed.
Win32Error RemoveTreeWithoutFollowingLinks(const Path& path);

// Copies everything below source into target, which must exist: directories are created
// exclusively and files copied without replacing anything, each under the transient retry policy.
// A link anywhere in source stops the copy with kErrorReparsePointEncountered. *attempts gets the
// attempt count of the last operation tried.
Win32Error CopyTreeWithoutFollowingLinks(const Path& source, const Path& target, int* attempts);

}  // namespace vellmora
