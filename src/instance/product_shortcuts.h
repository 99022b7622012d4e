#pragma once
// Direct startup of the player: the product's shortcuts on the desktop and in the Start menu, and
// the removal of the compatibility launcher that older installations started the instance with.

#include <string>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;
using platform::Path;

inline constexpr const wchar_t* kPlayerExe = L"Vellmora.exe";
inline constexpr const wchar_t* kLauncherExe = L"Vellmora-Launcher.exe";
inline constexpr const wchar_t* kPlayerArguments = L"--instance Pie64";
inline constexpr const wchar_t* kProductShortcutName = L"Vell Mora.lnk";
inline constexpr const wchar_t* kLegacyPie64ShortcutName = L"Vellmora - Pie64.lnk";
inline constexpr const wchar_t* kLegacyInstancesShortcutName = L"Vellmora - Instancias.lnk";

// Saves a shell link at link_path to target with the arguments and description, working in the
// target's folder; the link's folder is created first. True when the link file was saved.
bool CreateShellShortcut(const Path& link_path, const Path& target, const std::wstring& arguments,
                         const std::wstring& description);

// Both product shortcuts to the installed player; once they exist the legacy Pie64 shortcuts go.
// True when both were created. Throws FileSystemError when the player's status cannot be read
// for another reason than its absence.
bool CreateProductShortcuts(InstallerEngine& engine);

// Deletes the compatibility launcher once it has ended (at most 10 s) and both legacy instance
// shortcuts. True when all of them are gone. Throws FileSystemError as CreateProductShortcuts.
bool RemoveCompatibilityLauncher(InstallerEngine& engine);

}  // namespace vellmora
