#pragma once
// What kind of entry a path of a staged Engine tree is, without following a link.

#include "platform/files.h"

namespace vellmora {

// A file that is neither a directory nor a link.
inline bool IsPlainFile(const platform::Path& path) {
  platform::FileStatus status;
  return platform::GetFileStatus(path, &status) == platform::kErrorSuccess &&
         (status.attributes &
          (platform::kAttributeDirectory | platform::kAttributeReparsePoint)) == 0;
}

// A directory that is not a link.
inline bool IsPlainDirectory(const platform::Path& path) {
  platform::FileStatus status;
  return platform::GetFileStatus(path, &status) == platform::kErrorSuccess &&
         (status.attributes & platform::kAttributeDirectory) != 0 &&
         (status.attributes & platform::kAttributeReparsePoint) == 0;
}

}  // namespace vellmora
