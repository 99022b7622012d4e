#pragma once
// Opening the installation log or its folder from the wizard.

#include <string>

namespace vellmora {

// The UTF-8 path (its parent folder when want_folder is set) exists, and is a folder exactly when
// want_folder is set. Text that is not valid UTF-8 names no path.
bool PathExistsUtf8(const std::string& path, bool want_folder);
// Asks the shell to open that file or folder (verb "open", normal window) when PathExistsUtf8
// holds; true when the shell reports success.
bool OpenWithShell(const std::string& path, bool want_folder);

}  // namespace vellmora
