#pragma once
// The Windows shell: opening a file or folder with its associated program.

#include "platform/types.h"

namespace platform {

// ShellExecuteW(null, "open", path, null, null, SW_SHOWNORMAL). kErrorSuccess when the shell
// reports success (a result above 32), else the error it maps to (kErrorFileNotFound for a
// missing file, ...).
Win32Error ShellExecuteOpenW(const Path& path);

}  // namespace platform
