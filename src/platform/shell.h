#pragma once
// The Windows shell: opening a file or folder with its associated program, and starting a
// program either from this process or through the desktop's own shell.

#include <string>

#include "platform/types.h"

namespace platform {

// ShowWindow command for a normal window.
inline constexpr int kSwShowNormal = 1;

// ShellExecuteW(null, "open", path, null, null, SW_SHOWNORMAL). kErrorSuccess when the shell
// reports success (a result above 32), else the error it maps to (kErrorFileNotFound for a
// missing file, ...).
Win32Error ShellExecuteOpenW(const Path& path);

// ShellExecuteW(null, verb, file, parameters, directory, show) from this process: a program
// started this way runs with this process's token (elevated, when the installer is). Result
// mapping as for ShellExecuteOpenW.
Win32Error ShellExecuteW(const std::wstring& verb, const Path& file, const std::wstring& parameters,
                         const Path& directory, int show);

// The same request carried out by the desktop's shell in its own process, so that the program
// runs as the signed-in desktop user with that user's token: IShellWindows::FindWindowSW
// (SWC_DESKTOP) -> IServiceProvider::QueryService(SID_STopLevelBrowser, IShellBrowser) ->
// IShellBrowser::QueryActiveShellView -> IShellView::GetItemObject(SVGIO_BACKGROUND) ->
// IShellFolderViewDual::get_Application -> IShellDispatch2::ShellExecute. COM is initialised on
// the calling thread for the call's duration. kErrorSuccess when the desktop's shell accepted the
// request; otherwise the first step that failed is named in *failed_step (its COM result as the
// error): no desktop shell runs, or it lacks one of these interfaces.
Win32Error ShellExecuteFromDesktopW(const std::wstring& verb, const Path& file,
                                    const std::wstring& parameters, const Path& directory,
                                    int show, std::string* failed_step);

}  // namespace platform
