#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/sim/access_control.h"
#include "platform/sim/errors.h"
#include "platform/sim/faults.h"
#include "platform/sim/file_status.h"
#include "platform/sim/handle_table.h"
#include "platform/sim/machine.h"
#include "platform/sim/path_mapping.h"
#include "platform/sim/process_table.h"
#include "platform/sim/records.h"
#include "platform/sim/text.h"

namespace platform {
namespace {

using sim::internal::EntryKind;
using sim::internal::ErrorFromErrno;
using sim::internal::FileObject;
using sim::internal::HostEntry;
using sim::internal::InjectedFault;
using sim::internal::MappedPath;
using sim::internal::MissingError;
using sim::internal::ReadEntry;

constexpr Win32Error kErrorInvalidFunction = 1;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kFileReadData = 0x1;
constexpr std::uint32_t kFileWriteData = 0x2;
constexpr std::uint32_t kDeleteAccess = 0x00010000;

// Maps the path and asks the fault list whether this operation is to fail.
Win32Error Prepare(const char* kind, const Path& path, MappedPath* mapped) {
  Win32Error error = sim::internal::MapPath(path, mapped);
  if (error != kErrorSuccess) return error;
  return kind ? InjectedFault(kind, mapped->windows) : kErrorSuccess;
}

std::uint32_t MayOf(std::uint32_t desired_access) {
  std::uint32_t may = 0;
  if (desired_access & (kGenericRead | kFileReadData | kGenericAll)) may |= sim::internal::kMayRead;
  if (desired_access & (kGenericWrite | kFileWriteData | kGenericAll)) {
    may |= sim::internal::kMayWrite;
  } else if (desired_access & kFileAppendData) {
    may |= sim::internal::kMayAppend;
  }
  if (desired_access & (kDeleteAccess | kGenericAll)) may |= sim::internal::kMayDelete;
  return may;
}

// Windows refuses an open whose access another open handle does not share, or whose sharing
// does not cover another handle's access. Only this process's handles are seen.
Win32Error SharingConflict(const sim::internal::FileIdentity& identity, std::uint32_t may,
                           std::uint32_t share) {
  using sim::internal::kMayAppend;
  using sim::internal::kMayDelete;
  using sim::internal::kMayRead;
  using sim::internal::kMayWrite;
  for (const auto& open : sim::internal::OpenFiles()) {
    if (open->identity != identity) continue;
    bool conflict = ((may & kMayRead) && !(open->share & kShareRead)) ||
                    ((may & (kMayWrite | kMayAppend)) && !(open->share & kShareWrite)) ||
                    ((may & kMayDelete) && !(open->share & kShareDelete)) ||
                    ((open->may & kMayRead) && !(share & kShareRead)) ||
                    ((open->may & (kMayWrite | kMayAppend)) && !(share & kShareWrite)) ||
                    ((open->may & kMayDelete) && !(share & kShareDelete));
    if (conflict) return kErrorSharingViolation;
  }
  return kErrorSuccess;
}

// Removing or renaming an entry needs delete access that every open handle shares.
Win32Error DeleteConflict(const HostEntry& entry) {
  return SharingConflict(entry.identity, sim::internal::kMayDelete, kShareAll);
}

// NTFS (like FAT) refuses to rename a directory while anything below it is open, however that
// was opened and whatever it shares: the open handles would otherwise name a path that no longer
// exists. Only this process's handles are seen.
Win32Error OpenBelowConflict(const std::string& host_directory) {
  char* resolved = realpath(host_directory.c_str(), nullptr);
  if (!resolved) return kErrorSuccess;
  std::string prefix = std::string(resolved) + "/";
  std::free(resolved);
  for (const auto& open : sim::internal::OpenFiles()) {
    char where[4096];
    std::string fd_link = "/proc/self/fd/" + std::to_string(open->fd);
    ssize_t length = readlink(fd_link.c_str(), where, sizeof where);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof where) continue;
    if (std::string(where, static_cast<size_t>(length)).compare(0, prefix.size(), prefix) == 0) {
      return kErrorAccessDenied;
    }
  }
  return kErrorSuccess;
}

// Replacing an entry is refused while anything holds it open.
bool IsOpen(const HostEntry& entry) {
  for (const auto& open : sim::internal::OpenFiles()) {
    if (open->identity == entry.identity) return true;
  }
  return false;
}

std::uint64_t FreeBytes(char drive) {
  const sim::DriveOptions* options = sim::internal::Config()->Drive(drive);
  return options ? options->free_bytes : 0;
}

// The host path a new entry of mapped gets: its parent's stored case, the name as given.
std::string NewHostPath(const MappedPath& mapped) {
  return mapped.host_parent + "/" + sim::internal::ToUtf8(mapped.name);
}

// The volume that holds an entry: the drive whose folder holds its parent once host links are
// resolved (a junction into another drive leads there).
char VolumeOf(const MappedPath& mapped) {
  char drive = sim::internal::DriveOfHost(mapped.IsRoot() ? mapped.host : mapped.host_parent);
  return drive ? drive : mapped.drive;
}

Win32Error WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t wrote = write(fd, data, size);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return ErrorFromErrno(errno);
    }
    data += wrote;
    size -= static_cast<size_t>(wrote);
  }
  return kErrorSuccess;
}

Win32Error CopyContent(const std::string& from, const std::string& to, mode_t new_mode) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return ErrorFromErrno(errno);
  int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, new_mode);
  if (out < 0) {
    Win32Error error = ErrorFromErrno(errno);
    close(in);
    return error;
  }
  Win32Error error = kErrorSuccess;
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = kErrorReadFault;
    if (got <= 0) break;
    error = WriteAll(out, buffer, static_cast<size_t>(got));
    if (error != kErrorSuccess) break;
  }
  close(in);
  if (close(out) != 0 && error == kErrorSuccess) error = ErrorFromErrno(errno);
  return error;
}

// The checks a copy onto an existing destination passes on Windows.
Win32Error CheckCopyTarget(const HostEntry& target, bool fail_if_exists) {
  if (target.kind == EntryKind::kMissing) return kErrorSuccess;
  if (fail_if_exists) return kErrorFileExists;
  if (target.IsDirectory() || sim::internal::IsReadOnly(target)) return kErrorAccessDenied;
  return SharingConflict(target.identity, sim::internal::kMayWrite, 0);
}

// Copies a file with its attributes, as CopyFileW and a move between volumes do.
Win32Error CopyFileWithAttributes(const MappedPath& from, const HostEntry& source,
                                  const MappedPath& to, const HostEntry& target) {
  std::uint64_t growth = static_cast<std::uint64_t>(source.st.st_size);
  if (target.kind == EntryKind::kFile) {
    growth = growth > static_cast<std::uint64_t>(target.st.st_size)
                 ? growth - static_cast<std::uint64_t>(target.st.st_size)
                 : 0;
  }
  if (growth > FreeBytes(VolumeOf(to))) return kErrorDiskFull;
  std::string destination = target.kind == EntryKind::kMissing ? NewHostPath(to) : to.host;
  // A read-only target was refused; make sure a writable host mode lets the copy in.
  Win32Error error = CopyContent(from.host, destination, 0666);
  if (error != kErrorSuccess) return error;
  sim::internal::CopyAttributes(source, destination, to.windows);
  return kErrorSuccess;
}

}  // namespace

std::uint32_t GetFileAttributesW(const Path& path, Win32Error* error) {
  MappedPath mapped;
  Win32Error result = Prepare("get_attributes", path, &mapped);
  std::uint32_t attributes = kInvalidFileAttributes;
  if (result == kErrorSuccess) {
    HostEntry entry = ReadEntry(mapped.host);
    if (entry.kind == EntryKind::kMissing) {
      result = MissingError(mapped);
    } else {
      attributes = sim::internal::AttributesOf(entry, mapped.IsRoot());
    }
  }
  if (error) *error = result;
  return attributes;
}

Win32Error SetFileAttributesW(const Path& path, std::uint32_t attributes) {
  MappedPath mapped;
  Win32Error error = Prepare("set_attributes", path, &mapped);
  if (error != kErrorSuccess) return error;
  HostEntry entry = ReadEntry(mapped.host);
  if (entry.kind == EntryKind::kMissing) return MissingError(mapped);
  if (mapped.IsRoot()) return kErrorSuccess;
  return sim::internal::ApplyAttributes(entry, mapped.host, attributes, mapped.windows);
}

Win32Error GetFileStatus(const Path& path, FileStatus* status) {
  MappedPath mapped;
  Win32Error error = Prepare("get_attributes", path, &mapped);
  if (error != kErrorSuccess) return error;
  HostEntry entry = ReadEntry(mapped.host);
  if (entry.kind == EntryKind::kMissing) return MissingError(mapped);
  *status = sim::internal::StatusOf(entry, mapped.IsRoot());
  return kErrorSuccess;
}

Win32Error CreateFileW(const Path& path, std::uint32_t desired_access, std::uint32_t share_mode,
                       std::uint32_t creation_disposition, std::uint32_t flags_and_attributes,
                       UniqueHandle* handle) {
  if (!handle || creation_disposition < kCreateNew || creation_disposition > kTruncateExisting) {
    return kErrorInvalidParameter;
  }
  MappedPath mapped;
  Win32Error error = Prepare("create_file", path, &mapped);
  if (error != kErrorSuccess) return error;
  std::uint32_t may = MayOf(desired_access);
  bool writes = (may & (sim::internal::kMayWrite | sim::internal::kMayAppend)) != 0;
  if (creation_disposition == kTruncateExisting && !(may & sim::internal::kMayWrite)) {
    return kErrorInvalidParameter;
  }
  bool open_link = (flags_and_attributes & kFlagOpenReparsePoint) != 0;
  HostEntry entry = ReadEntry(mapped.host);
  if (entry.IsLink() && !open_link) {
    HostEntry target = sim::internal::ReadFollowedEntry(mapped.host);
    // A dangling link is opened like a missing file; creating one creates its target.
    if (target.kind != EntryKind::kMissing) entry = target;
  }

  int flags = O_CLOEXEC;
  bool creating = false;
  if (entry.kind == EntryKind::kMissing || (entry.IsLink() && !open_link)) {
    if (!sim::internal::ParentIsDirectory(mapped)) return kErrorPathNotFound;
    if (creation_disposition == kOpenExisting || creation_disposition == kTruncateExisting) {
      return kErrorFileNotFound;
    }
    creating = true;
    flags |= O_CREAT | (entry.kind == EntryKind::kMissing ? O_EXCL : 0);
  } else if (entry.IsDirectory() || mapped.IsRoot()) {
    if (!(flags_and_attributes & kFlagBackupSemantics)) return kErrorAccessDenied;
    if (creation_disposition == kCreateNew) return kErrorFileExists;
    if (creation_disposition != kOpenExisting && creation_disposition != kOpenAlways) {
      return kErrorAccessDenied;
    }
    flags |= entry.IsLink() ? (O_PATH | O_NOFOLLOW) : (O_RDONLY | O_DIRECTORY);
  } else {
    if (creation_disposition == kCreateNew) return kErrorFileExists;
    bool truncates = creation_disposition == kCreateAlways ||
                     creation_disposition == kTruncateExisting;
    if ((writes || truncates) && sim::internal::IsReadOnly(entry)) return kErrorAccessDenied;
    if (creation_disposition == kCreateAlways) {
      // Overwriting a hidden or system file must say so in the attributes it asks for.
      std::uint32_t existing = sim::internal::AttributesOf(entry, false);
      std::uint32_t wanted = flags_and_attributes & (kAttributeHidden | kAttributeSystem);
      if ((existing & (kAttributeHidden | kAttributeSystem)) & ~wanted) return kErrorAccessDenied;
    }
    if (truncates) flags |= O_TRUNC;
    if (entry.IsLink()) flags |= O_PATH | O_NOFOLLOW;
  }
  if (!(flags & O_PATH) && !(flags & O_DIRECTORY)) {
    if ((may & sim::internal::kMayRead) && writes) {
      flags |= O_RDWR;
    } else if (writes || (flags & O_TRUNC)) {
      flags |= O_WRONLY;
    } else {
      flags |= O_RDONLY;
    }
    if ((may & sim::internal::kMayAppend) && !(may & sim::internal::kMayWrite)) flags |= O_APPEND;
  }
  if (entry.kind != EntryKind::kMissing) {
    error = SharingConflict(entry.identity, may, share_mode);
    if (error != kErrorSuccess) return error;
  }

  std::string host = creating && entry.kind == EntryKind::kMissing ? NewHostPath(mapped)
                                                                    : mapped.host;
  int fd = open(host.c_str(), flags, 0666);
  if (fd < 0) return ErrorFromErrno(errno);
  auto file = std::make_shared<FileObject>();
  file->fd = fd;
  file->windows_path = mapped.windows;
  file->host_path = host;
  file->drive = VolumeOf(mapped);
  file->may = may;
  file->share = share_mode;
  file->directory = (flags & O_DIRECTORY) != 0 || entry.IsDirectory();
  file->link = entry.IsLink() && open_link && !file->directory;
  sim::internal::IdentityOfDescriptor(fd, &file->identity);
  file->delete_on_close = (flags_and_attributes & kFlagDeleteOnClose) != 0 && !file->directory;
  if (creating || creation_disposition == kCreateAlways) {
    // A new (or superseded) file takes the attributes asked for, with the archive bit.
    HostEntry created = sim::internal::ReadFollowedEntry(host);
    created.identity = file->identity;
    sim::internal::ApplyAttributes(created, host, (flags_and_attributes & 0xFFFF) | kAttributeArchive,
                                   mapped.windows);
  }
  handle->Reset(sim::internal::AddHandle(std::move(file)));
  return kErrorSuccess;
}

Win32Error CreateFileW(const wchar_t* path, std::uint32_t desired_access, std::uint32_t share_mode,
                       std::uint32_t creation_disposition, std::uint32_t flags_and_attributes,
                       UniqueHandle* handle) {
  if (!path) return kErrorInvalidParameter;
  return CreateFileW(Path(path), desired_access, share_mode, creation_disposition,
                     flags_and_attributes, handle);
}

Win32Error ReadFile(RawHandle file_handle, void* buffer, std::uint32_t size,
                    std::uint32_t* bytes_read) {
  if (bytes_read) *bytes_read = 0;
  auto object = sim::internal::FindHandle(file_handle);
  auto* file = std::get_if<std::shared_ptr<FileObject>>(&object);
  if (!file) return kErrorInvalidHandle;
  Win32Error error = InjectedFault("read", (*file)->windows_path);
  if (error != kErrorSuccess) return error;
  if ((*file)->directory) return kErrorInvalidFunction;
  if (!((*file)->may & sim::internal::kMayRead)) return kErrorAccessDenied;
  if ((*file)->link) return kErrorSuccess;
  if ((*file)->pipe) return sim::internal::ReadPipe((*file)->fd, buffer, size, bytes_read);
  std::uint32_t done = 0;
  char* out = static_cast<char*>(buffer);
  while (done < size) {
    ssize_t got = read((*file)->fd, out + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno == EBADF ? kErrorAccessDenied : kErrorReadFault;
    if (got == 0) break;
    done += static_cast<std::uint32_t>(got);
  }
  if (bytes_read) *bytes_read = done;
  return kErrorSuccess;
}

Win32Error WriteFile(RawHandle file_handle, const void* data, std::uint32_t size,
                     std::uint32_t* bytes_written) {
  if (bytes_written) *bytes_written = 0;
  auto object = sim::internal::FindHandle(file_handle);
  auto* file = std::get_if<std::shared_ptr<FileObject>>(&object);
  if (!file) return kErrorInvalidHandle;
  Win32Error error = InjectedFault("write", (*file)->windows_path);
  if (error != kErrorSuccess) return error;
  if ((*file)->directory) return kErrorInvalidFunction;
  if (!((*file)->may & (sim::internal::kMayWrite | sim::internal::kMayAppend))) {
    return kErrorAccessDenied;
  }
  if ((*file)->link) {
    if (bytes_written) *bytes_written = size;
    return kErrorSuccess;
  }
  if ((*file)->pipe) {
    error = WriteAll((*file)->fd, static_cast<const char*>(data), size);
    if (error == kErrorSuccess && bytes_written) *bytes_written = size;
    return error == kErrorSuccess ? error : kErrorBrokenPipe;
  }
  struct stat st{};
  if (fstat((*file)->fd, &st) != 0) return ErrorFromErrno(errno);
  off_t at = ((*file)->may & sim::internal::kMayWrite) ? lseek((*file)->fd, 0, SEEK_CUR)
                                                        : st.st_size;
  std::uint64_t end = static_cast<std::uint64_t>(at) + size;
  std::uint64_t growth = end > static_cast<std::uint64_t>(st.st_size)
                             ? end - static_cast<std::uint64_t>(st.st_size)
                             : 0;
  if (growth > FreeBytes((*file)->drive)) return kErrorDiskFull;
  error = WriteAll((*file)->fd, static_cast<const char*>(data), size);
  if (error != kErrorSuccess) return error;
  if (bytes_written) *bytes_written = size;
  return kErrorSuccess;
}

Win32Error SetFilePointerEx(RawHandle file_handle, std::int64_t distance, std::uint32_t method,
                            std::uint64_t* new_position) {
  auto object = sim::internal::FindHandle(file_handle);
  auto* file = std::get_if<std::shared_ptr<FileObject>>(&object);
  if (!file) return kErrorInvalidHandle;
  if ((*file)->directory || (*file)->pipe) return kErrorInvalidFunction;
  int whence = method == kFileBegin ? SEEK_SET : method == kFileCurrent ? SEEK_CUR : SEEK_END;
  if (method > kFileEnd) return kErrorInvalidParameter;
  off_t at = lseek((*file)->fd, static_cast<off_t>(distance), whence);
  if (at < 0) return errno == EINVAL ? kErrorNegativeSeek : ErrorFromErrno(errno);
  if (new_position) *new_position = static_cast<std::uint64_t>(at);
  return kErrorSuccess;
}

Win32Error FlushFileBuffers(RawHandle file_handle) {
  auto object = sim::internal::FindHandle(file_handle);
  auto* file = std::get_if<std::shared_ptr<FileObject>>(&object);
  if (!file) return kErrorInvalidHandle;
  Win32Error error = InjectedFault("flush", (*file)->windows_path);
  if (error != kErrorSuccess) return error;
  if (!((*file)->may & (sim::internal::kMayWrite | sim::internal::kMayAppend))) {
    return kErrorAccessDenied;
  }
  if ((*file)->link) return kErrorSuccess;
  if ((*file)->pipe) return kErrorSuccess;
  return fdatasync((*file)->fd) == 0 ? kErrorSuccess : ErrorFromErrno(errno);
}

Win32Error GetFileSizeEx(RawHandle file_handle, std::uint64_t* size) {
  auto object = sim::internal::FindHandle(file_handle);
  auto* file = std::get_if<std::shared_ptr<FileObject>>(&object);
  if (!file) return kErrorInvalidHandle;
  if ((*file)->directory || (*file)->pipe) return kErrorInvalidFunction;
  struct stat st{};
  if (fstat((*file)->fd, &st) != 0) return ErrorFromErrno(errno);
  *size = static_cast<std::uint64_t>(st.st_size);
  return kErrorSuccess;
}

Win32Error CopyFileW(const Path& from, const Path& to, bool fail_if_exists) {
  MappedPath source_path, target_path;
  Win32Error error = Prepare(nullptr, from, &source_path);
  if (error == kErrorSuccess) error = Prepare(nullptr, to, &target_path);
  if (error == kErrorSuccess) error = InjectedFault("copy", source_path.windows, target_path.windows);
  if (error != kErrorSuccess) return error;
  HostEntry source = sim::internal::ReadFollowedEntry(source_path.host);
  if (source.kind == EntryKind::kMissing) return MissingError(source_path);
  if (source.IsDirectory()) return kErrorAccessDenied;
  error = SharingConflict(source.identity, sim::internal::kMayRead, kShareAll);
  if (error != kErrorSuccess) return error;
  if (!sim::internal::ParentIsDirectory(target_path)) return kErrorPathNotFound;
  HostEntry target = sim::internal::ReadFollowedEntry(target_path.host);
  if (target.kind != EntryKind::kMissing && target.identity == source.identity) {
    return kErrorSharingViolation;
  }
  error = CheckCopyTarget(target, fail_if_exists);
  if (error != kErrorSuccess) return error;
  return CopyFileWithAttributes(source_path, source, target_path, target);
}

Win32Error MoveFileExW(const Path& from, const Path& to, std::uint32_t flags) {
  MappedPath source_path, target_path;
  Win32Error error = Prepare(nullptr, from, &source_path);
  if (error == kErrorSuccess) error = Prepare(nullptr, to, &target_path);
  if (error == kErrorSuccess) error = InjectedFault("move", source_path.windows, target_path.windows);
  if (error != kErrorSuccess) return error;
  if (source_path.IsRoot() || target_path.IsRoot()) return kErrorAccessDenied;
  HostEntry source = ReadEntry(source_path.host);
  if (source.kind == EntryKind::kMissing) return MissingError(source_path);
  error = DeleteConflict(source);
  if (error == kErrorSuccess && source.IsDirectory() && !source.IsLink()) {
    error = OpenBelowConflict(source_path.host);
  }
  if (error != kErrorSuccess) return error;
  if (!sim::internal::ParentIsDirectory(target_path)) return kErrorPathNotFound;

  HostEntry target = ReadEntry(target_path.host);
  std::string destination = NewHostPath(target_path);
  if (target.kind != EntryKind::kMissing && target.identity == source.identity) {
    // The same entry under another spelling: a rename that changes letter case, or nothing.
    if (destination == source_path.host) return kErrorSuccess;
    return rename(source_path.host.c_str(), destination.c_str()) == 0 ? kErrorSuccess
                                                                      : ErrorFromErrno(errno);
  }
  if (target.kind != EntryKind::kMissing) {
    if (!(flags & kMoveReplaceExisting)) return kErrorAlreadyExists;
    if (target.IsDirectory() || source.IsDirectory() || sim::internal::IsReadOnly(target) ||
        IsOpen(target)) {
      return kErrorAccessDenied;
    }
    destination = target_path.host;
  }

  if (VolumeOf(source_path) != VolumeOf(target_path)) {
    if (source.IsDirectory() || !(flags & kMoveCopyAllowed)) return kErrorNotSameDevice;
    HostEntry followed = sim::internal::ReadFollowedEntry(source_path.host);
    if (followed.kind == EntryKind::kMissing) return kErrorFileNotFound;
    error = CopyFileWithAttributes(source_path, followed, target_path, target);
    if (error != kErrorSuccess) return error;
    sim::internal::RecordAttributes(source.identity, std::nullopt, source_path.windows);
    return unlink(source_path.host.c_str()) == 0 ? kErrorSuccess : ErrorFromErrno(errno);
  }
  if (rename(source_path.host.c_str(), destination.c_str()) != 0) return ErrorFromErrno(errno);
  if (target.kind != EntryKind::kMissing) {
    sim::internal::RecordAttributes(target.identity, std::nullopt, target_path.windows);
  }
  return kErrorSuccess;
}

Win32Error DeleteFileAtRestart(const Path& path) {
  MappedPath mapped;
  Win32Error error = Prepare(nullptr, path, &mapped);
  if (error == kErrorSuccess) error = InjectedFault("move", mapped.windows);
  if (error != kErrorSuccess) return error;
  if (!sim::internal::Config()->elevated) return kErrorAccessDenied;
  if (ReadEntry(mapped.host).kind == EntryKind::kMissing) return MissingError(mapped);
  sim::internal::AppendRecord(sim::internal::kRestartDeleteRecord, sim::internal::ToUtf8(mapped.windows));
  return kErrorSuccess;
}

Win32Error ReplaceFileW(const Path& replaced, const Path& replacement, std::uint32_t) {
  MappedPath replaced_path, replacement_path;
  Win32Error error = Prepare(nullptr, replaced, &replaced_path);
  if (error == kErrorSuccess) error = Prepare(nullptr, replacement, &replacement_path);
  if (error == kErrorSuccess) {
    error = InjectedFault("replace", replaced_path.windows, replacement_path.windows);
  }
  if (error != kErrorSuccess) return error;
  HostEntry old_file = ReadEntry(replaced_path.host);
  if (old_file.kind == EntryKind::kMissing) return MissingError(replaced_path);
  HostEntry new_file = ReadEntry(replacement_path.host);
  if (new_file.kind == EntryKind::kMissing) return MissingError(replacement_path);
  if (old_file.IsDirectory() || new_file.IsDirectory()) return kErrorAccessDenied;
  if (sim::internal::IsReadOnly(old_file)) return kErrorAccessDenied;
  error = DeleteConflict(old_file);
  if (error == kErrorSuccess) error = DeleteConflict(new_file);
  if (error != kErrorSuccess) return error;
  if (VolumeOf(replaced_path) != VolumeOf(replacement_path)) return kErrorNotSameDevice;

  // The replacement becomes the replaced file: its name, its attributes, its host mode.
  std::uint32_t attributes = sim::internal::AttributesOf(old_file, false);
  if (new_file.kind == EntryKind::kFile) chmod(replacement_path.host.c_str(), old_file.st.st_mode & 07777);
  if (rename(replacement_path.host.c_str(), replaced_path.host.c_str()) != 0) {
    return ErrorFromErrno(errno);
  }
  sim::internal::RecordAttributes(old_file.identity, std::nullopt, replaced_path.windows);
  HostEntry result = ReadEntry(replaced_path.host);
  sim::internal::ApplyAttributes(result, replaced_path.host, attributes, replaced_path.windows);
  return kErrorSuccess;
}

Win32Error DeleteFileW(const Path& path) {
  MappedPath mapped;
  Win32Error error = Prepare("delete_file", path, &mapped);
  if (error != kErrorSuccess) return error;
  HostEntry entry = ReadEntry(mapped.host);
  if (entry.kind == EntryKind::kMissing) return MissingError(mapped);
  if (mapped.IsRoot() || entry.IsDirectory() || sim::internal::IsReadOnly(entry)) {
    return kErrorAccessDenied;
  }
  error = DeleteConflict(entry);
  if (error != kErrorSuccess) return error;
  if (unlink(mapped.host.c_str()) != 0) return ErrorFromErrno(errno);
  sim::internal::RecordAttributes(entry.identity, std::nullopt, mapped.windows);
  return kErrorSuccess;
}

Win32Error CreateDirectoryW(const Path& path) {
  MappedPath mapped;
  Win32Error error = Prepare("create_directory", path, &mapped);
  if (error != kErrorSuccess) return error;
  if (mapped.IsRoot()) return kErrorAccessDenied;
  if (ReadEntry(mapped.host).kind != EntryKind::kMissing) return kErrorAlreadyExists;
  if (!sim::internal::ParentIsDirectory(mapped)) return kErrorPathNotFound;
  if (mkdir(NewHostPath(mapped).c_str(), 0777) != 0) return ErrorFromErrno(errno);
  sim::internal::RecordCreator(mapped.windows);
  return kErrorSuccess;
}

Win32Error RemoveDirectoryW(const Path& path) {
  MappedPath mapped;
  Win32Error error = Prepare("remove_directory", path, &mapped);
  if (error != kErrorSuccess) return error;
  HostEntry entry = ReadEntry(mapped.host);
  if (entry.kind == EntryKind::kMissing) return MissingError(mapped);
  if (mapped.IsRoot()) return kErrorAccessDenied;
  if (!entry.IsDirectory()) return kErrorDirectory;
  if (sim::internal::IsReadOnly(entry)) return kErrorAccessDenied;
  error = DeleteConflict(entry);
  if (error != kErrorSuccess) return error;
  // A directory link goes by itself; its target stays as it is.
  int result = entry.IsLink() ? unlink(mapped.host.c_str()) : rmdir(mapped.host.c_str());
  if (result != 0) return errno == EEXIST ? kErrorDirNotEmpty : ErrorFromErrno(errno);
  sim::internal::RecordAttributes(entry.identity, std::nullopt, mapped.windows);
  return kErrorSuccess;
}

Win32Error ListDirectory(const Path& directory, std::vector<DirectoryEntry>* entries) {
  MappedPath mapped;
  Win32Error error = Prepare("list_directory", directory, &mapped);
  if (error != kErrorSuccess) return error;
  HostEntry folder = sim::internal::ReadFollowedEntry(mapped.host);
  if (folder.kind == EntryKind::kMissing) return kErrorPathNotFound;
  if (folder.kind != EntryKind::kDirectory) return kErrorDirectory;
  DIR* dir = opendir(mapped.host.c_str());
  if (!dir) return ErrorFromErrno(errno);
  std::vector<DirectoryEntry> found;
  while (dirent* item = readdir(dir)) {
    std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    HostEntry entry = ReadEntry(mapped.host + "/" + name);
    if (entry.kind == EntryKind::kMissing) continue;  // removed while listing
    found.push_back({sim::internal::FromUtf8(name), sim::internal::StatusOf(entry, false)});
  }
  closedir(dir);
  *entries = std::move(found);
  return kErrorSuccess;
}

Win32Error CreateJunction(const Path& link, const Path& target) {
  MappedPath link_path, target_path;
  Win32Error error = Prepare("create_directory", link, &link_path);
  if (error != kErrorSuccess) return error;
  error = Prepare(nullptr, target, &target_path);
  if (error != kErrorSuccess) return error;
  if (link_path.IsRoot() || ReadEntry(link_path.host).kind != EntryKind::kMissing) {
    return kErrorAlreadyExists;
  }
  if (!sim::internal::ParentIsDirectory(link_path)) return kErrorPathNotFound;
  std::string text = sim::internal::JunctionText(target_path.host);
  return symlink(text.c_str(), NewHostPath(link_path).c_str()) == 0 ? kErrorSuccess
                                                                    : ErrorFromErrno(errno);
}

Win32Error CreateSymbolicLinkW(const Path& link, const Path& target, bool directory) {
  MappedPath link_path;
  Win32Error error = Prepare("create_file", link, &link_path);
  if (error != kErrorSuccess) return error;
  if (!sim::internal::Config()->elevated) return kErrorPrivilegeNotHeld;
  if (target.empty()) return kErrorInvalidParameter;
  bool absolute = target[0] == L'\\' || target[0] == L'/' ||
                  (target.size() >= 2 && target[1] == L':');
  std::string text;
  if (absolute) {
    MappedPath target_path;
    Path full = target;
    // A root-relative target lies on the link's own drive.
    if (target[0] == L'\\' && (target.size() < 2 || target[1] != L'\\')) {
      full = link_path.windows.substr(0, 2) + target;
    }
    error = sim::internal::MapPath(full, &target_path);
    if (error != kErrorSuccess) return error;
    text = target_path.host;
  } else {
    std::wstring relative = target;
    for (wchar_t& c : relative) {
      if (c == L'\\') c = L'/';
    }
    text = sim::internal::ToUtf8(relative);
  }
  if (link_path.IsRoot() || ReadEntry(link_path.host).kind != EntryKind::kMissing) {
    return kErrorAlreadyExists;
  }
  if (!sim::internal::ParentIsDirectory(link_path)) return kErrorPathNotFound;
  text = sim::internal::SymbolicLinkText(text, directory);
  return symlink(text.c_str(), NewHostPath(link_path).c_str()) == 0 ? kErrorSuccess
                                                                    : ErrorFromErrno(errno);
}

}  // namespace platform
