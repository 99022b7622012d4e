#include "placement/tree_operations.h"

#include <vector>

#include "app/path_helpers.h"
#include "app/retry_transient.h"
#include "platform/files.h"

namespace vellmora {
namespace {

bool IsLink(const platform::FileStatus& status) {
  return (status.attributes & platform::kAttributeReparsePoint) != 0;
}

bool IsDirectory(const platform::FileStatus& status) {
  return (status.attributes & platform::kAttributeDirectory) != 0;
}

Win32Error RemoveEntry(const Path& path, const platform::FileStatus& status) {
  if (IsLink(status)) {
    // A directory link goes with RemoveDirectoryW, which never touches the target.
    return IsDirectory(status) ? platform::RemoveDirectoryW(path) : platform::DeleteFileW(path);
  }
  if (!IsDirectory(status)) {
    if ((status.attributes & platform::kAttributeReadOnly) != 0) {
      Win32Error error = platform::SetFileAttributesW(
          path, status.attributes & ~platform::kAttributeReadOnly);
      if (error != platform::kErrorSuccess) return error;
    }
    return platform::DeleteFileW(path);
  }
  std::vector<platform::DirectoryEntry> entries;
  Win32Error error = platform::ListDirectory(path, &entries);
  if (error != platform::kErrorSuccess) return error;
  for (const auto& entry : entries) {
    error = RemoveEntry(JoinPath(path, entry.name), entry.status);
    if (error != platform::kErrorSuccess) return error;
  }
  return platform::RemoveDirectoryW(path);
}

Win32Error Retried(const std::function<Win32Error()>& operation, int* attempts) {
  Win32Error last = platform::kErrorSuccess;
  RetryTransient(
      [&] {
        last = operation();
        return last;
      },
      kTransientAttempts, attempts);
  return last;
}

}  // namespace

bool RenameRetried(const Path& from, const Path& to, Win32Error* error, int* attempts) {
  Win32Error last = platform::kErrorSuccess;
  bool renamed = RetryTransient(
      [&] {
        last = platform::MoveFileExW(from, to, 0);
        return last;
      },
      kTransientAttempts, attempts);
  if (error) *error = last;
  return renamed;
}

Win32Error RemoveTreeWithoutFollowingLinks(const Path& path) {
  platform::FileStatus status;
  Win32Error error = platform::GetFileStatus(path, &status);
  if (error != platform::kErrorSuccess) return error;
  return RemoveEntry(path, status);
}

Win32Error CopyTreeWithoutFollowingLinks(const Path& source, const Path& target, int* attempts) {
  std::vector<platform::DirectoryEntry> entries;
  Win32Error error = Retried([&] { return platform::ListDirectory(source, &entries); }, attempts);
  if (error != platform::kErrorSuccess) return error;
  for (const auto& entry : entries) {
    const Path from = JoinPath(source, entry.name);
    const Path to = JoinPath(target, entry.name);
    if (IsLink(entry.status) || entry.status.attributes == platform::kInvalidFileAttributes) {
      return platform::kErrorReparsePointEncountered;
    }
    if (IsDirectory(entry.status)) {
      error = Retried([&] { return platform::CreateDirectoryW(to); }, attempts);
      if (error == platform::kErrorSuccess) error = CopyTreeWithoutFollowingLinks(from, to, attempts);
    } else {
      error = Retried([&] { return platform::CopyFileW(from, to, true); }, attempts);
    }
    if (error != platform::kErrorSuccess) return error;
  }
  return platform::kErrorSuccess;
}

}  // namespace vellmora
