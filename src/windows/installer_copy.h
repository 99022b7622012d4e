#pragma once
// The copy of the installer that the uninstall entry starts: Windows lists a program among the
// installed ones only with an "UninstallString", and the installer the user ran may be gone
// from Downloads by the time they want it back.
//
// The copy lives in a folder of its own, <ProgramData>\Vellmora-Installer\Setup-<GUID>, created
// exclusively with an access list that admits only LocalSystem and the Administrators group, so
// that nobody else can plant a DLL beside a program an administrator will start. Its parent is
// used only when this call created it or when it is a real directory owned by LocalSystem or the
// Administrators group: whoever owns the parent could rename the copy's folder away and put one
// of their own in its place. The parent is held open, without delete sharing, while the copy is
// made.

#include <string>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;

inline constexpr const wchar_t* kInstallerCopyName = L"VellmoraSetup.exe";

// Copies the running executable into a new private folder; the copy's path, or empty after one
// log line (and with nothing left behind).
platform::Path CopyInstallerForUninstall(InstallerEngine& engine);

// Removes the folder of the copy that an earlier uninstall string named, when it has the shape of
// one of these copies under this machine's installer folder and is not the current one. A folder
// that cannot go is a warning: it costs disk space, nothing else.
void RemoveEarlierInstallerCopy(InstallerEngine& engine,
                                const std::wstring& earlier_uninstall_string,
                                const platform::Path& current_copy);

}  // namespace vellmora
