#pragma once
// Small lookups every procedure shares: GUID text, environment variables, the system and runtime
// folders and the temporary directory.

#include <string>

#include "platform/system.h"
#include "platform/types.h"

namespace vellmora {

using platform::Path;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case); without braces when with_braces is false.
std::wstring FormatGuid(const platform::Guid& guid, bool with_braces);
// A new random GUID in that form; empty when none could be created.
std::wstring NewGuidString(bool with_braces);

// The value when it has 1 to 32,767 characters; empty when unset, empty or longer.
std::wstring ReadEnvironmentVariable(const std::wstring& name);
// The system folder as the system reports it (GetSystemDirectoryW); empty when that is not an
// absolute path. Every system tool runs by its full path in this folder.
Path System32Dir();
// directory\Runtime\Pellucador_kta5: where the engine's runtime lives inside a root.
Path RuntimeDirOf(const Path& directory);
// The user's temporary directory (ending in a separator), empty when Windows gives none or one of
// 32,768 characters or more.
Path TemporaryDirectory();

}  // namespace vellmora
