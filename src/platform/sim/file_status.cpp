#include "platform/sim/file_status.h"

#include <unistd.h>

#include <optional>

namespace sim::internal {
namespace {

using namespace platform;

constexpr std::uint32_t kAttributeNotContentIndexed = 0x2000;
constexpr std::uint32_t kSettable = kAttributeReadOnly | kAttributeHidden | kAttributeSystem |
                                    kAttributeArchive | kAttributeNotContentIndexed;

std::string LinkText(const std::string& host) {
  char buffer[4096];
  ssize_t length = readlink(host.c_str(), buffer, sizeof buffer);
  return length < 0 ? std::string() : std::string(buffer, static_cast<size_t>(length));
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// What an entry has when nothing is recorded: files and file links carry the archive bit, as
// Windows gives every new file.
std::uint32_t DefaultBits(const HostEntry& entry) {
  return (entry.kind == EntryKind::kFile || entry.kind == EntryKind::kFileLink) ? kAttributeArchive
                                                                                : 0;
}

HostEntry Classify(const std::string& host, const struct stat& st) {
  HostEntry entry;
  entry.st = st;
  IdentityOf(host, &entry.identity);
  if (S_ISDIR(st.st_mode)) {
    entry.kind = EntryKind::kDirectory;
  } else if (S_ISLNK(st.st_mode)) {
    std::string text = LinkText(host);
    struct stat target{};
    if (EndsWith(text, "/.")) {
      entry.kind = EntryKind::kDirectoryLink;
      entry.reparse_tag = kReparseTagMountPoint;
    } else if (EndsWith(text, "/") ||
               (stat(host.c_str(), &target) == 0 && S_ISDIR(target.st_mode))) {
      entry.kind = EntryKind::kDirectoryLink;
      entry.reparse_tag = kReparseTagSymlink;
    } else {
      entry.kind = EntryKind::kFileLink;
      entry.reparse_tag = kReparseTagSymlink;
    }
  } else {
    entry.kind = EntryKind::kFile;
  }
  return entry;
}

}  // namespace

HostEntry ReadEntry(const std::string& host) {
  struct stat st{};
  if (lstat(host.c_str(), &st) != 0) return HostEntry();
  return Classify(host, st);
}

HostEntry ReadFollowedEntry(const std::string& host) {
  struct stat st{};
  if (stat(host.c_str(), &st) != 0) return HostEntry();
  HostEntry entry;
  entry.st = st;
  entry.kind = S_ISDIR(st.st_mode) ? EntryKind::kDirectory : EntryKind::kFile;
  struct stat own{};
  if (lstat(host.c_str(), &own) == 0 && S_ISLNK(own.st_mode)) {
    char resolved[4096];
    if (realpath(host.c_str(), resolved)) IdentityOf(resolved, &entry.identity);
  } else {
    IdentityOf(host, &entry.identity);
  }
  return entry;
}

bool IsReadOnly(const HostEntry& entry) {
  return (AttributesOf(entry, false) & kAttributeReadOnly) != 0;
}

std::uint32_t AttributesOf(const HostEntry& entry, bool is_root) {
  if (entry.kind == EntryKind::kMissing) return kInvalidFileAttributes;
  if (is_root) return kAttributeDirectory | kAttributeHidden | kAttributeSystem;
  std::optional<std::uint32_t> recorded = RecordedAttributes(entry.identity);
  std::uint32_t bits = recorded ? *recorded : DefaultBits(entry);
  switch (entry.kind) {
    case EntryKind::kFile:
      bits &= ~kAttributeReadOnly;
      if (!(entry.st.st_mode & S_IWUSR)) bits |= kAttributeReadOnly;
      break;
    case EntryKind::kDirectory: bits |= kAttributeDirectory; break;
    case EntryKind::kFileLink: bits |= kAttributeReparsePoint; break;
    case EntryKind::kDirectoryLink: bits |= kAttributeDirectory | kAttributeReparsePoint; break;
    case EntryKind::kMissing: break;
  }
  return bits == 0 ? kAttributeNormal : bits;
}

FileStatus StatusOf(const HostEntry& entry, bool is_root) {
  FileStatus status;
  status.attributes = AttributesOf(entry, is_root);
  status.reparse_tag = entry.IsLink() ? entry.reparse_tag : 0;
  status.size = entry.kind == EntryKind::kFile ? static_cast<std::uint64_t>(entry.st.st_size) : 0;
  return status;
}

Win32Error ApplyAttributes(const HostEntry& entry, const std::string& host,
                           std::uint32_t attributes, const std::wstring& note) {
  std::uint32_t bits = attributes & kSettable;
  if (entry.kind == EntryKind::kFile) {
    mode_t mode = entry.st.st_mode & 07777;
    mode_t wanted = (bits & kAttributeReadOnly) ? (mode & ~mode_t{0222}) : (mode | S_IWUSR);
    if (wanted != mode && chmod(host.c_str(), wanted) != 0) return kErrorAccessDenied;
    bits &= ~kAttributeReadOnly;
  }
  RecordAttributes(entry.identity,
                   bits == DefaultBits(entry) ? std::nullopt : std::optional<std::uint32_t>(bits),
                   note);
  return kErrorSuccess;
}

void CopyAttributes(const HostEntry& source, const std::string& copy_host,
                    const std::wstring& note) {
  HostEntry copy = ReadEntry(copy_host);
  if (copy.kind == EntryKind::kMissing) return;
  ApplyAttributes(copy, copy_host, AttributesOf(source, false), note);
}

bool ParentIsDirectory(const MappedPath& mapped) {
  if (mapped.IsRoot()) return true;
  struct stat st{};
  return stat(mapped.host_parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Win32Error MissingError(const MappedPath& mapped) {
  return ParentIsDirectory(mapped) ? kErrorFileNotFound : kErrorPathNotFound;
}

std::string JunctionText(const std::string& host_target) { return host_target + "/."; }

std::string SymbolicLinkText(const std::string& target, bool directory) {
  return directory && !EndsWith(target, "/") ? target + "/" : target;
}

}  // namespace sim::internal
