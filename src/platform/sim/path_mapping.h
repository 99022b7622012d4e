#pragma once
// Windows paths of the machine and the host paths behind them: drive L: is the folder
// <machine root>/drives/<L>. Look-ups ignore letter case as Windows does; a component that does
// not exist yet keeps the case the caller gave it.

#include <string>

#include "platform/types.h"

namespace sim::internal {

// The lexical rules of GetFullPathNameW: relative paths resolve against current_directory, '/' is
// a separator, doubled separators collapse, "." and ".." are resolved without looking at the disk
// (never above the root), a component's single trailing period and the last component's trailing
// periods and spaces go (not behind a \\?\ prefix), a trailing separator stays, and a \\?\ or
// \\.\ prefix is kept.
platform::Win32Error FullPathName(const std::wstring& path, const std::wstring& current_directory,
                                  std::wstring* full_path);

struct MappedPath {
  std::wstring windows;     // the full path without a \\?\ prefix or trailing separator ("C:\" for a root)
  char drive = 0;           // upper case
  std::string host;         // existing components in their stored case, new ones as given
  std::string host_parent;  // empty for a drive root
  std::wstring name;        // the last component as the caller spelled it; empty for a root

  bool IsRoot() const { return host_parent.empty(); }
};

// kErrorInvalidName for a path Windows would refuse (empty, or a name with one of <>:"|?* or a
// control character), kErrorPathNotFound for one that is not on a drive of the machine.
platform::Win32Error MapPath(const std::wstring& path, MappedPath* mapped);

// The host folder of a drive; empty when the machine has no such drive.
std::string DriveFolder(char letter);
// The Windows path of a host path that lies under a drive folder (after resolving host links);
// empty otherwise.
std::wstring WindowsPathOfHost(const std::string& host_path);
// The drive whose folder holds the host path once its links are resolved; 0 when none does.
char DriveOfHost(const std::string& host_path);

}  // namespace sim::internal
