#include "app/file_helpers.h"

#include <vector>

#include "app/path_helpers.h"
#include "platform/files.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kReadChunk = 1 << 16;

// Stores a failing call's error for a caller that asked for it; false, for returning.
bool Failed(platform::Win32Error failure, platform::Win32Error* error) {
  if (error) *error = failure;
  return false;
}

template <typename Container>
bool ReadAll(const Path& path, Container* out, platform::Win32Error* error) {
  platform::UniqueHandle file;
  platform::Win32Error failure =
      platform::CreateFileW(path, platform::kGenericRead, platform::kShareAll,
                            platform::kOpenExisting, platform::kAttributeNormal, &file);
  if (failure != platform::kErrorSuccess) return Failed(failure, error);
  Container content;
  std::vector<char> buffer(kReadChunk);
  for (;;) {
    std::uint32_t read = 0;
    failure = platform::ReadFile(file.Get(), buffer.data(), kReadChunk, &read);
    if (failure != platform::kErrorSuccess) {
      *out = std::move(content);
      return Failed(failure, error);
    }
    if (read == 0) break;
    content.insert(content.end(), buffer.begin(), buffer.begin() + read);
  }
  *out = std::move(content);
  return true;
}

platform::Win32Error WriteAndFlush(platform::RawHandle file, const std::string& content) {
  std::size_t done = 0;
  while (done < content.size()) {
    std::size_t left = content.size() - done;
    auto chunk = static_cast<std::uint32_t>(left > (1u << 30) ? (1u << 30) : left);
    std::uint32_t written = 0;
    platform::Win32Error error = platform::WriteFile(file, content.data() + done, chunk, &written);
    if (error != platform::kErrorSuccess) return error;
    // A write that reports success and takes nothing would loop forever.
    if (written == 0) return platform::kErrorWriteFault;
    done += written;
  }
  return platform::FlushFileBuffers(file);
}

bool IsPlainEntry(const platform::FileStatus& status) {
  return status.attributes != platform::kInvalidFileAttributes &&
         (status.attributes & platform::kAttributeReparsePoint) == 0;
}

bool IsPlainTreeBelow(const Path& root, const Path& directory) {
  std::vector<platform::DirectoryEntry> entries;
  if (platform::ListDirectory(directory, &entries) != platform::kErrorSuccess) return false;
  for (const auto& entry : entries) {
    Path child = JoinPath(directory, entry.name);
    if (!IsPathInside(child, root)) return false;
    platform::FileStatus status;
    if (platform::GetFileStatus(child, &status) != platform::kErrorSuccess ||
        !IsPlainEntry(status) || !IsPlainEntry(entry.status)) {
      return false;
    }
    if ((status.attributes & platform::kAttributeDirectory) != 0 &&
        !IsPlainTreeBelow(root, child)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ReadWholeFile(const Path& path, std::string* out, platform::Win32Error* error) {
  return ReadAll(path, out, error);
}

bool ReadFileBytes(const Path& path, std::vector<std::uint8_t>* out, platform::Win32Error* error) {
  return ReadAll(path, out, error);
}

bool ReplaceFileAtomically(const Path& target, const std::string& content,
                           platform::Win32Error* error) {
  const Path temporary = target + L".vellmora.tmp";
  {
    // The folder may be one that ordinary users write: whatever sits at the temporary name (a
    // leftover, or a link planted there) goes as it is, and the new file is created only when
    // nothing took the name meanwhile, so the elevated write never reaches a link's target.
    platform::DeleteFileW(temporary);
    platform::UniqueHandle file;
    platform::Win32Error failure = platform::CreateFileW(
        temporary, platform::kGenericWrite, platform::kShareAll, platform::kCreateNew,
        platform::kAttributeNormal | platform::kFlagOpenReparsePoint, &file);
    if (failure != platform::kErrorSuccess) return Failed(failure, error);
    failure = WriteAndFlush(file.Get(), content);
    if (failure != platform::kErrorSuccess) {
      file.Reset();
      platform::DeleteFileW(temporary);
      return Failed(failure, error);
    }
  }
  if (platform::ReplaceFileW(target, temporary, platform::kReplaceWriteThrough) ==
      platform::kErrorSuccess) {
    return true;
  }
  const platform::Win32Error failure = platform::MoveFileExW(
      temporary, target, platform::kMoveReplaceExisting | platform::kMoveWriteThrough);
  if (failure == platform::kErrorSuccess) return true;
  platform::DeleteFileW(temporary);
  return Failed(failure, error);
}

platform::Win32Error RemoveDirectoryTree(const Path& path) {
  platform::FileStatus status;
  platform::Win32Error error = platform::GetFileStatus(path, &status);
  if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) {
    return platform::kErrorSuccess;
  }
  if (error != platform::kErrorSuccess) return error;
  const bool directory = (status.attributes & platform::kAttributeDirectory) != 0;
  const bool link = (status.attributes & platform::kAttributeReparsePoint) != 0;
  platform::Win32Error first = platform::kErrorSuccess;
  if (directory && !link) {
    std::vector<platform::DirectoryEntry> entries;
    first = platform::ListDirectory(path, &entries);
    for (const auto& entry : entries) {
      platform::Win32Error child = RemoveDirectoryTree(JoinPath(path, entry.name));
      if (first == platform::kErrorSuccess) first = child;
    }
  }
  if (status.attributes & platform::kAttributeReadOnly) {
    platform::SetFileAttributesW(path, status.attributes & ~platform::kAttributeReadOnly);
  }
  error = directory ? platform::RemoveDirectoryW(path) : platform::DeleteFileW(path);
  return first != platform::kErrorSuccess ? first : error;
}

platform::Win32Error CreateDirectoryWithParents(const Path& path) {
  platform::FileStatus status;
  platform::Win32Error error = platform::GetFileStatus(path, &status);
  if (error == platform::kErrorSuccess) {
    return (status.attributes & platform::kAttributeDirectory) ? platform::kErrorSuccess
                                                               : platform::kErrorAlreadyExists;
  }
  if (error != platform::kErrorFileNotFound && error != platform::kErrorPathNotFound) return error;
  const Path parent = ParentPath(path);
  if (parent.empty() || parent == path) return error;
  error = CreateDirectoryWithParents(parent);
  if (error != platform::kErrorSuccess) return error;
  error = platform::CreateDirectoryW(path);
  // Someone else may have created it in between; a directory is what was asked for.
  if (error == platform::kErrorAlreadyExists &&
      platform::GetFileStatus(path, &status) == platform::kErrorSuccess &&
      (status.attributes & platform::kAttributeDirectory) != 0) {
    return platform::kErrorSuccess;
  }
  return error;
}

bool IsPlainDirectoryTree(const Path& directory) {
  platform::FileStatus status;
  if (platform::GetFileStatus(directory, &status) != platform::kErrorSuccess ||
      !IsPlainEntry(status) || (status.attributes & platform::kAttributeDirectory) == 0) {
    return false;
  }
  return IsPlainTreeBelow(directory, directory);
}

}  // namespace vellmora
