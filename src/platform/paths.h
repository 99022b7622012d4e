#pragma once
// Where things are: path resolution, the temporary directory, the running module, known folders
// and the environment block.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

// GetFullPathNameW: the absolute, lexically normalised form of path against the current
// directory; the \\?\ prefix is kept as it is. kErrorInvalidName for an unusable path.
Win32Error GetFullPathNameW(const Path& path, Path* full_path);

// GetTempPathW: the user's temporary directory, ending in a backslash; empty when unavailable.
Path GetTempPathW();
// The same into the caller's buffer, without allocating or waiting for a lock (the crash filter
// runs where neither may be safe): the length written without the terminator, the size needed
// (terminator included) when buffer_units is too small, 0 when unavailable.
std::uint32_t GetTempPathW(std::uint32_t buffer_units, wchar_t* buffer);

// GetSystemDirectoryW: the system folder (C:\Windows\System32 on most machines), as the system
// reports it; empty when unavailable.
Path GetSystemDirectoryW();

// GetModuleFileNameW of the process executable; empty when unavailable.
Path GetModuleFileNameW();

// GetWindowsDirectoryA, widened: the Windows folder (C:\Windows); empty when the call fails or
// the path needs more than 259 characters.
Path GetWindowsDirectoryA();

enum class KnownFolder {
  kProgramData,   // FOLDERID_ProgramData, C:\ProgramData
  kLocalAppData,  // FOLDERID_LocalAppData, C:\Users\<user>\AppData\Local
  kProfile,       // FOLDERID_Profile, C:\Users\<user>
  kDesktop,       // FOLDERID_Desktop, C:\Users\<user>\Desktop
  kPrograms,      // FOLDERID_Programs, the user's Start-menu programs folder
};

// SHGetKnownFolderPath; with create set (KF_FLAG_CREATE) a missing folder is created first.
Win32Error SHGetKnownFolderPath(KnownFolder folder, bool create, Path* path);

// GetEnvironmentVariableW of the process environment, whatever its length;
// kErrorEnvvarNotFound when the variable is unset. Names compare case-insensitively.
Win32Error GetEnvironmentVariableW(const std::wstring& name, std::wstring* value);
// SetEnvironmentVariableW; a null value removes the variable.
Win32Error SetEnvironmentVariableW(const std::wstring& name, const std::wstring* value);
// ExpandEnvironmentStringsW into a buffer of buffer_units characters: every %NAME% of a defined
// variable replaced by its value, anything else kept as written. kErrorInsufficientBuffer when
// the result and its terminating zero do not fit.
Win32Error ExpandEnvironmentStringsW(const std::wstring& text, std::uint32_t buffer_units,
                                     std::wstring* expanded);

}  // namespace platform
