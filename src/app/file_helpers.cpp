#include "app/file_helpers.h"

#include <vector>

#include "app/path_helpers.h"
#include "platform/files.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kReadChunk = 1 << 16;

template <typename Container>
bool ReadAll(const Path& path, Container* out) {
  platform::UniqueHandle file;
  if (platform::CreateFileW(path, platform::kGenericRead, platform::kShareAll,
                            platform::kOpenExisting, platform::kAttributeNormal,
                            &file) != platform::kErrorSuccess) {
    return false;
  }
  Container content;
  std::vector<char> buffer(kReadChunk);
  for (;;) {
    std::uint32_t read = 0;
    if (platform::ReadFile(file.Get(), buffer.data(), kReadChunk, &read) !=
        platform::kErrorSuccess) {
      *out = std::move(content);
      return false;
    }
    if (read == 0) break;
    content.insert(content.end(), buffer.begin(), buffer.begin() + read);
  }
  *out = std::move(content);
  return true;
}

bool WriteAndFlush(platform::RawHandle file, const std::string& content) {
  std::size_t done = 0;
  while (done < content.size()) {
    std::size_t left = content.size() - done;
    auto chunk = static_cast<std::uint32_t>(left > (1u << 30) ? (1u << 30) : left);
    std::uint32_t written = 0;
    if (platform::WriteFile(file, content.data() + done, chunk, &written) !=
            platform::kErrorSuccess ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return platform::FlushFileBuffers(file) == platform::kErrorSuccess;
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

bool ReadWholeFile(const Path& path, std::string* out) { return ReadAll(path, out); }

bool ReadFileBytes(const Path& path, std::vector<std::uint8_t>* out) { return ReadAll(path, out); }

bool ReplaceFileAtomically(const Path& target, const std::string& content) {
  const Path temporary = target + L".vellmora.tmp";
  {
    platform::UniqueHandle file;
    if (platform::CreateFileW(temporary, platform::kGenericWrite, platform::kShareAll,
                              platform::kCreateAlways, platform::kAttributeNormal,
                              &file) != platform::kErrorSuccess) {
      platform::DeleteFileW(temporary);
      return false;
    }
    if (!WriteAndFlush(file.Get(), content)) {
      file.Reset();
      platform::DeleteFileW(temporary);
      return false;
    }
  }
  if (platform::ReplaceFileW(target, temporary, platform::kReplaceWriteThrough) ==
      platform::kErrorSuccess) {
    return true;
  }
  if (platform::MoveFileExW(temporary, target,
                            platform::kMoveReplaceExisting | platform::kMoveWriteThrough) ==
      platform::kErrorSuccess) {
    return true;
  }
  platform::DeleteFileW(temporary);
  return false;
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
