#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"

namespace platform {
namespace {

HANDLE HandleOf(RawHandle handle) { return reinterpret_cast<HANDLE>(handle); }

Win32Error Result(BOOL succeeded) { return succeeded ? kErrorSuccess : ::GetLastError(); }

FileStatus StatusOf(const WIN32_FIND_DATAW& data) {
  FileStatus status;
  status.attributes = data.dwFileAttributes;
  // dwReserved0 holds the reparse tag only when the entry is a reparse point.
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) status.reparse_tag = data.dwReserved0;
  if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    status.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  }
  return status;
}

// The reparse tag of the entry at path, which FindFirstFileW reports without following it.
Win32Error ReparseTagOf(const Path& path, std::uint32_t* tag) {
  WIN32_FIND_DATAW data{};
  HANDLE find = ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                   nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return ::GetLastError();
  ::FindClose(find);
  *tag = data.dwReserved0;
  return kErrorSuccess;
}

bool IsLetterDrivePath(const Path& path) {
  return path.size() >= 2 && path[1] == L':' &&
         ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

}  // namespace

std::uint32_t GetFileAttributesW(const Path& path, Win32Error* error) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (error) *error = attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : kErrorSuccess;
  return attributes;
}

Win32Error SetFileAttributesW(const Path& path, std::uint32_t attributes) {
  return Result(::SetFileAttributesW(path.c_str(), attributes));
}

Win32Error GetFileStatus(const Path& path, FileStatus* status) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return ::GetLastError();
  FileStatus result;
  result.attributes = data.dwFileAttributes;
  if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    result.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    Win32Error error = ReparseTagOf(path, &result.reparse_tag);
    if (error != kErrorSuccess) return error;
  }
  *status = result;
  return kErrorSuccess;
}

Win32Error CreateFileW(const wchar_t* path, std::uint32_t desired_access, std::uint32_t share_mode,
                       std::uint32_t creation_disposition, std::uint32_t flags_and_attributes,
                       UniqueHandle* handle) {
  HANDLE file = ::CreateFileW(path, desired_access, share_mode, nullptr, creation_disposition,
                              flags_and_attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ::GetLastError();
  handle->Reset(reinterpret_cast<RawHandle>(file));
  return kErrorSuccess;
}

Win32Error CreateFileW(const Path& path, std::uint32_t desired_access, std::uint32_t share_mode,
                       std::uint32_t creation_disposition, std::uint32_t flags_and_attributes,
                       UniqueHandle* handle) {
  return CreateFileW(path.c_str(), desired_access, share_mode, creation_disposition,
                     flags_and_attributes, handle);
}

Win32Error ReadFile(RawHandle file, void* buffer, std::uint32_t size, std::uint32_t* bytes_read) {
  DWORD read = 0;
  BOOL succeeded = ::ReadFile(HandleOf(file), buffer, size, &read, nullptr);
  *bytes_read = read;
  return Result(succeeded);
}

Win32Error WriteFile(RawHandle file, const void* data, std::uint32_t size,
                     std::uint32_t* bytes_written) {
  DWORD written = 0;
  BOOL succeeded = ::WriteFile(HandleOf(file), data, size, &written, nullptr);
  *bytes_written = written;
  return Result(succeeded);
}

Win32Error SetFilePointerEx(RawHandle file, std::int64_t distance, std::uint32_t method,
                            std::uint64_t* new_position) {
  LARGE_INTEGER move{};
  move.QuadPart = distance;
  LARGE_INTEGER at{};
  if (!::SetFilePointerEx(HandleOf(file), move, &at, method)) return ::GetLastError();
  if (new_position) *new_position = static_cast<std::uint64_t>(at.QuadPart);
  return kErrorSuccess;
}

Win32Error FlushFileBuffers(RawHandle file) { return Result(::FlushFileBuffers(HandleOf(file))); }

Win32Error GetFileSizeEx(RawHandle file, std::uint64_t* size) {
  LARGE_INTEGER value{};
  if (!::GetFileSizeEx(HandleOf(file), &value)) return ::GetLastError();
  *size = static_cast<std::uint64_t>(value.QuadPart);
  return kErrorSuccess;
}

Win32Error CopyFileW(const Path& from, const Path& to, bool fail_if_exists) {
  return Result(::CopyFileW(from.c_str(), to.c_str(), fail_if_exists ? TRUE : FALSE));
}

Win32Error MoveFileExW(const Path& from, const Path& to, std::uint32_t flags) {
  return Result(::MoveFileExW(from.c_str(), to.c_str(), flags));
}

Win32Error DeleteFileAtRestart(const Path& path) {
  return Result(::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
}

Win32Error ReplaceFileW(const Path& replaced, const Path& replacement, std::uint32_t flags) {
  return Result(::ReplaceFileW(replaced.c_str(), replacement.c_str(), nullptr, flags, nullptr,
                               nullptr));
}

Win32Error DeleteFileW(const Path& path) { return Result(::DeleteFileW(path.c_str())); }

Win32Error CreateDirectoryW(const Path& path) {
  return Result(::CreateDirectoryW(path.c_str(), nullptr));
}

Win32Error RemoveDirectoryW(const Path& path) { return Result(::RemoveDirectoryW(path.c_str())); }

Win32Error ListDirectory(const Path& directory, std::vector<DirectoryEntry>* entries) {
  Path pattern = directory;
  if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data{};
  HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
  entries->clear();
  if (find == INVALID_HANDLE_VALUE) {
    Win32Error error = ::GetLastError();
    // A drive root has no "." or "..", so an empty one matches nothing at all.
    if (error == ERROR_FILE_NOT_FOUND) return kErrorSuccess;
    // Windows names a file used as a directory ERROR_DIRECTORY; Wine says the name is invalid.
    DWORD attributes = ::GetFileAttributesW(directory.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return kErrorDirectory;
    }
    return error;
  }
  Win32Error error = kErrorSuccess;
  for (;;) {
    if (std::wcscmp(data.cFileName, L".") != 0 && std::wcscmp(data.cFileName, L"..") != 0) {
      entries->push_back(DirectoryEntry{data.cFileName, StatusOf(data)});
    }
    if (!::FindNextFileW(find, &data)) {
      error = ::GetLastError();
      break;
    }
  }
  ::FindClose(find);
  if (error != ERROR_NO_MORE_FILES) {
    entries->clear();
    return error;
  }
  return kErrorSuccess;
}

Win32Error CreateJunction(const Path& link, const Path& target) {
  Path full_target;
  Win32Error error = GetFullPathNameW(target, &full_target);
  if (error != kErrorSuccess) return error;
  if (full_target.rfind(L"\\\\?\\", 0) == 0) full_target.erase(0, 4);
  if (!IsLetterDrivePath(full_target)) return kErrorInvalidName;
  // A mount point names its target in NT form; the print name is what tools show.
  const Path substitute = L"\\??\\" + full_target;
  const Path& print = full_target;

  // REPARSE_DATA_BUFFER's MountPointReparseBuffer: tag, data length, reserved, then four
  // offsets and lengths (bytes) into a path buffer holding both names, each zero-terminated.
  const size_t substitute_bytes = substitute.size() * sizeof(wchar_t);
  const size_t print_bytes = print.size() * sizeof(wchar_t);
  const size_t path_buffer_bytes = substitute_bytes + print_bytes + 2 * sizeof(wchar_t);
  const size_t data_length = 4 * sizeof(USHORT) + path_buffer_bytes;
  if (data_length > MAXIMUM_REPARSE_DATA_BUFFER_SIZE - 8) return kErrorInvalidName;
  std::vector<unsigned char> buffer(8 + data_length, 0);
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  const USHORT fields[6] = {static_cast<USHORT>(data_length),
                            0,
                            0,
                            static_cast<USHORT>(substitute_bytes),
                            static_cast<USHORT>(substitute_bytes + sizeof(wchar_t)),
                            static_cast<USHORT>(print_bytes)};
  std::memcpy(buffer.data(), &tag, sizeof tag);
  std::memcpy(buffer.data() + 4, fields, sizeof fields);
  std::memcpy(buffer.data() + 16, substitute.data(), substitute_bytes);
  std::memcpy(buffer.data() + 16 + substitute_bytes + sizeof(wchar_t), print.data(), print_bytes);

  if (!::CreateDirectoryW(link.c_str(), nullptr)) return ::GetLastError();
  HANDLE directory = ::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                   nullptr);
  if (directory == INVALID_HANDLE_VALUE) {
    error = ::GetLastError();
    ::RemoveDirectoryW(link.c_str());
    return error;
  }
  DWORD returned = 0;
  BOOL set = ::DeviceIoControl(directory, FSCTL_SET_REPARSE_POINT, buffer.data(),
                               static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
  error = set ? kErrorSuccess : ::GetLastError();
  ::CloseHandle(directory);
  if (error == kErrorSuccess) return kErrorSuccess;
  ::RemoveDirectoryW(link.c_str());
  // File systems without reparse points (FAT, some network shares) refuse the control code
  // itself rather than the data.
  if (error == ERROR_INVALID_FUNCTION) return kErrorNotSupported;
  return error;
}

Win32Error CreateSymbolicLinkW(const Path& link, const Path& target, bool directory) {
  const DWORD kind = directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
  BOOL created = ::CreateSymbolicLinkW(link.c_str(), target.c_str(),
                                       kind | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  // Systems older than developer-mode links reject the unprivileged flag itself.
  if (!created && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    created = ::CreateSymbolicLinkW(link.c_str(), target.c_str(), kind);
  }
  if (!created) return ::GetLastError();
  // Wine answers success without creating anything; a caller must not build on a link that
  // is not there.
  DWORD attributes = ::GetFileAttributesW(link.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return kErrorNotSupported;
  }
  return kErrorSuccess;
}

}  // namespace platform
