#pragma once
// Files and directories, as the Windows file API has them. No operation here follows a symbolic
// link or junction at the final component unless it says so: attributes, status and listings
// describe the link itself, and a link reports FILE_ATTRIBUTE_REPARSE_POINT with its tag.
// Paths are absolute Windows paths (drive paths, optionally with the \\?\ prefix).

#include <cstdint>
#include <vector>

#include "platform/types.h"

namespace platform {

// File attributes (FILE_ATTRIBUTE_*).
inline constexpr std::uint32_t kAttributeReadOnly = 0x1;
inline constexpr std::uint32_t kAttributeHidden = 0x2;
inline constexpr std::uint32_t kAttributeSystem = 0x4;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeArchive = 0x20;
inline constexpr std::uint32_t kAttributeNormal = 0x80;
inline constexpr std::uint32_t kAttributeTemporary = 0x100;
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

// Reparse tags (IO_REPARSE_TAG_*).
inline constexpr std::uint32_t kReparseTagMountPoint = 0xA0000003;  // junction
inline constexpr std::uint32_t kReparseTagSymlink = 0xA000000C;

// Desired access, share mode, disposition and flags of CreateFileW.
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;
inline constexpr std::uint32_t kFileAppendData = 0x0004;
inline constexpr std::uint32_t kShareRead = 0x1;
inline constexpr std::uint32_t kShareWrite = 0x2;
inline constexpr std::uint32_t kShareDelete = 0x4;
inline constexpr std::uint32_t kShareAll = kShareRead | kShareWrite | kShareDelete;
inline constexpr std::uint32_t kCreateNew = 1;
inline constexpr std::uint32_t kCreateAlways = 2;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kOpenAlways = 4;
inline constexpr std::uint32_t kTruncateExisting = 5;
inline constexpr std::uint32_t kFlagOpenReparsePoint = 0x00200000;
inline constexpr std::uint32_t kFlagBackupSemantics = 0x02000000;
// The file is deleted when its handle closes (on Windows: its last handle, the children's included).
inline constexpr std::uint32_t kFlagDeleteOnClose = 0x04000000;
inline constexpr std::uint32_t kFlagWriteThrough = 0x80000000;

// MoveFileExW flags.
inline constexpr std::uint32_t kMoveReplaceExisting = 0x1;
inline constexpr std::uint32_t kMoveCopyAllowed = 0x2;
inline constexpr std::uint32_t kMoveWriteThrough = 0x8;

// ReplaceFileW flags.
inline constexpr std::uint32_t kReplaceWriteThrough = 0x1;

struct FileStatus {
  std::uint32_t attributes = kInvalidFileAttributes;
  std::uint32_t reparse_tag = 0;  // 0 unless kAttributeReparsePoint is set
  std::uint64_t size = 0;         // bytes; 0 for directories
};

struct DirectoryEntry {
  std::wstring name;  // the entry's own name, never "." or ".."
  FileStatus status;
};

// Attributes of the entry itself (a link is not followed); kInvalidFileAttributes and the error
// when the entry cannot be read.
std::uint32_t GetFileAttributesW(const Path& path, Win32Error* error = nullptr);
Win32Error SetFileAttributesW(const Path& path, std::uint32_t attributes);
// Attributes, reparse tag and size of the entry itself.
Win32Error GetFileStatus(const Path& path, FileStatus* status);

// CreateFileW: opens or creates a file. kFlagOpenReparsePoint opens a link itself (writes to it
// succeed and reach the link, never its target); directories open only with
// kFlagBackupSemantics. On success *handle owns the new handle.
Win32Error CreateFileW(const Path& path, std::uint32_t desired_access, std::uint32_t share_mode,
                       std::uint32_t creation_disposition, std::uint32_t flags_and_attributes,
                       UniqueHandle* handle);
// The same for a zero-terminated path, for code that must not allocate (the crash filter).
Win32Error CreateFileW(const wchar_t* path, std::uint32_t desired_access, std::uint32_t share_mode,
                       std::uint32_t creation_disposition, std::uint32_t flags_and_attributes,
                       UniqueHandle* handle);
// ReadFile: reads up to size bytes; *bytes_read 0 with success means the end of the file.
Win32Error ReadFile(RawHandle file, void* buffer, std::uint32_t size, std::uint32_t* bytes_read);
// WriteFile: writes at the file pointer (at the end for a handle opened with append access only).
Win32Error WriteFile(RawHandle file, const void* data, std::uint32_t size,
                     std::uint32_t* bytes_written);
Win32Error FlushFileBuffers(RawHandle file);
// GetFileSizeEx: the size of an open file in bytes.
Win32Error GetFileSizeEx(RawHandle file, std::uint64_t* size);
// SetFilePointerEx: moves the file pointer from the start, the current position or the end.
inline constexpr std::uint32_t kFileBegin = 0;
inline constexpr std::uint32_t kFileCurrent = 1;
inline constexpr std::uint32_t kFileEnd = 2;
Win32Error SetFilePointerEx(RawHandle file, std::int64_t distance, std::uint32_t method,
                            std::uint64_t* new_position = nullptr);

Win32Error CopyFileW(const Path& from, const Path& to, bool fail_if_exists);
// MoveFileExW: renames a file or directory. Across volumes a file moves only with
// kMoveCopyAllowed and a directory never does (kErrorNotSameDevice). A directory with anything
// open below it is not renamed (kErrorAccessDenied, whatever the open shares); one that is open
// itself without kShareDelete gives kErrorSharingViolation.
Win32Error MoveFileExW(const Path& from, const Path& to, std::uint32_t flags);
// ReplaceFileW without a backup file: the replacement takes the replaced file's place and the
// replaced file's attributes; fails when the replaced file does not exist or is read-only.
Win32Error ReplaceFileW(const Path& replaced, const Path& replacement, std::uint32_t flags);
// DeleteFileW: removes a file, or a file symbolic link itself; a read-only file is refused.
Win32Error DeleteFileW(const Path& path);
// MoveFileExW(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT): Windows deletes the file at the next
// restart. Needs an administrator.
Win32Error DeleteFileAtRestart(const Path& path);
Win32Error CreateDirectoryW(const Path& path);
// RemoveDirectoryW: removes an empty directory, or a directory link (junction or directory
// symbolic link) itself without touching its target.
Win32Error RemoveDirectoryW(const Path& path);

// FindFirstFileW/FindNextFileW over one directory: every entry except "." and "..", unsorted,
// each with the status of the entry itself (links are listed, not entered).
Win32Error ListDirectory(const Path& directory, std::vector<DirectoryEntry>* entries);

// A junction at link pointing at the existing directory target (FSCTL_SET_REPARSE_POINT).
// kErrorNotSupported where the system cannot create one.
Win32Error CreateJunction(const Path& link, const Path& target);
// CreateSymbolicLinkW for a file or a directory target.
Win32Error CreateSymbolicLinkW(const Path& link, const Path& target, bool directory);

}  // namespace platform
