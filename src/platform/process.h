#pragma once
// Child processes: start with redirected standard handles, anonymous pipes, waits (through
// WaitForSingleObject of sync.h, which also waits for a process handle), termination and exit
// codes; and the two things a captured child's output needs: a temporary file name and the
// conversion of the console's OEM code page.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace platform {

// CreateProcessW creation flags and STARTUPINFOW show-window values.
inline constexpr std::uint32_t kCreateNoWindow = 0x08000000;
inline constexpr std::uint16_t kSwHide = 0;
// GetExitCodeProcess of a process that is still running.
inline constexpr std::uint32_t kStillActive = 259;
// SetHandleInformation flag.
inline constexpr std::uint32_t kHandleFlagInherit = 0x1;

struct StartupInfo {             // the STARTUPINFOW fields the installer sets
  bool use_show_window = false;  // STARTF_USESHOWWINDOW with show_window
  std::uint16_t show_window = kSwHide;
  bool use_std_handles = false;  // STARTF_USESTDHANDLES with the three handles (kNoHandle: none)
  RawHandle std_input = kNoHandle;
  RawHandle std_output = kNoHandle;
  RawHandle std_error = kNoHandle;
};

struct ProcessInformation {  // PROCESS_INFORMATION
  UniqueHandle process;
  UniqueHandle thread;
  std::uint32_t process_id = 0;
  std::uint32_t thread_id = 0;
};

// CreateProcessW without a separate application name, environment or directory of its own: the
// program is the command line's first argument. With inherit_handles the child gets every
// inheritable handle (and, with use_std_handles, those as its standard handles).
Win32Error CreateProcessW(const std::wstring& command_line, bool inherit_handles,
                          std::uint32_t creation_flags, const StartupInfo& startup,
                          ProcessInformation* information);
// TerminateProcess: the process ends at once and its exit code becomes exit_code.
Win32Error TerminateProcess(RawHandle process, std::uint32_t exit_code);
// GetExitCodeProcess: kStillActive while the process runs.
Win32Error GetExitCodeProcess(RawHandle process, std::uint32_t* exit_code);

// CreatePipe with the default buffer size; inheritable makes both ends inheritable.
Win32Error CreatePipe(bool inheritable, UniqueHandle* read_end, UniqueHandle* write_end);
// SetHandleInformation: the flags selected by mask (kHandleFlagInherit) become those of flags.
Win32Error SetHandleInformation(RawHandle handle, std::uint32_t mask, std::uint32_t flags);
// PeekNamedPipe: how many bytes are waiting in the pipe, without reading them. A pipe whose write
// ends are all closed and that holds nothing more reports kErrorBrokenPipe. (ReadFile of files.h
// reads a pipe: it returns what is waiting, at least one byte, and kErrorBrokenPipe at the end.)
Win32Error PeekNamedPipe(RawHandle pipe, std::uint32_t* bytes_available);

// GetTempFileNameW with a unique number: creates an empty file <directory><prefix>XXXX.tmp (the
// prefix's first three characters) and returns its path.
Win32Error GetTempFileNameW(const Path& directory, const std::wstring& prefix, Path* file_name);

// MultiByteToWideChar(CP_OEMCP) of bytes a console program wrote.
Win32Error OemToWide(const std::string& bytes, std::wstring* text);

// OpenProcess access rights.
inline constexpr std::uint32_t kProcessTerminate = 0x0001;
inline constexpr std::uint32_t kProcessQueryLimitedInformation = 0x1000;
inline constexpr std::uint32_t kSynchronize = 0x00100000;

struct ProcessEntry {  // the PROCESSENTRY32W fields the installer reads
  std::uint32_t process_id = 0;
  std::wstring exe_file;  // the executable's file name, without its folder
};
// CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS) walked with Process32FirstW and Process32NextW:
// the processes of the system (the calling one included), in the snapshot's order.
Win32Error ListProcesses(std::vector<ProcessEntry>* entries);
// OpenProcess without handle inheritance; kErrorAccessDenied for a process the caller may not
// open (another user's, a protected one), kErrorInvalidParameter for an id that runs nothing.
Win32Error OpenProcess(std::uint32_t access, std::uint32_t process_id, UniqueHandle* process);
// QueryFullProcessImageNameW with flags 0: the Win32 path of the process's program.
Win32Error QueryFullProcessImageNameW(RawHandle process, Path* image_path);

}  // namespace platform
