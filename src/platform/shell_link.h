#pragma once
// Shell links (.lnk files): the shell's own ShellLink object, saved and loaded through its
// IShellLinkW and IPersistFile interfaces. Each call initialises COM on the calling thread as a
// single-threaded apartment for its own duration (and uninitialises it when that succeeded).

#include <string>

#include "platform/types.h"

namespace platform {

struct ShellLink {
  Path target;                 // IShellLinkW::SetPath / GetPath
  std::wstring arguments;      // SetArguments / GetArguments
  Path working_directory;      // SetWorkingDirectory / GetWorkingDirectory
  std::wstring description;    // SetDescription / GetDescription
  Path icon_location;          // read only: GetIconLocation (empty: the target's own icon)
};

// CoCreateInstance(CLSID_ShellLink, in-process server, IShellLinkW); sets target, arguments,
// working directory and description (their results are not checked, as the shell accepts any
// text); IPersistFile::Save(link_path, remember). kErrorSuccess when the link file was saved;
// the save's error otherwise (kErrorPathNotFound when the link's folder is missing, ...).
Win32Error SaveShellLinkW(const Path& link_path, const ShellLink& link);
// IPersistFile::Load(link_path, read) and the IShellLinkW getters. An error when the file is
// missing or is not a shell link.
Win32Error LoadShellLinkW(const Path& link_path, ShellLink* link);

}  // namespace platform
