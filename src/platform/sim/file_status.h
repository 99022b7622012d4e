#pragma once
// What a host entry looks like as a Windows entry. Links are host symbolic links whose text
// records their Windows kind, so that the kind survives renames, copies and host tools:
//   <target>/.   a junction (CreateJunction)
//   <target>/    a directory symbolic link (CreateSymbolicLinkW with directory set)
//   <target>     a file symbolic link, or (when the target is a directory) a directory
//                symbolic link made by a host tool
// Absolute targets are host paths, relative ones keep their relative form.

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/sim/attribute_store.h"
#include "platform/sim/path_mapping.h"

namespace sim::internal {

enum class EntryKind { kMissing, kFile, kDirectory, kFileLink, kDirectoryLink };

struct HostEntry {
  EntryKind kind = EntryKind::kMissing;
  struct stat st = {};  // of the entry itself
  std::uint32_t reparse_tag = 0;
  FileIdentity identity;

  bool IsDirectory() const {
    return kind == EntryKind::kDirectory || kind == EntryKind::kDirectoryLink;
  }
  bool IsLink() const { return kind == EntryKind::kFileLink || kind == EntryKind::kDirectoryLink; }
};

// The entry at host, not following a final link; kMissing when there is none.
HostEntry ReadEntry(const std::string& host);
// The entry a path leads to once a final link is followed.
HostEntry ReadFollowedEntry(const std::string& host);

std::uint32_t AttributesOf(const HostEntry& entry, bool is_root);
platform::FileStatus StatusOf(const HostEntry& entry, bool is_root);
bool IsReadOnly(const HostEntry& entry);
// Gives the entry the settable attribute bits of attributes (read-only, hidden, system, archive,
// not-content-indexed); the rest are the entry's own.
platform::Win32Error ApplyAttributes(const HostEntry& entry, const std::string& host,
                                     std::uint32_t attributes, const std::wstring& note);
// Gives a copy the attributes of its source.
void CopyAttributes(const HostEntry& source, const std::string& copy_host,
                    const std::wstring& note);

// kErrorPathNotFound when the folder that would hold the entry is missing, else
// kErrorFileNotFound.
platform::Win32Error MissingError(const MappedPath& mapped);
bool ParentIsDirectory(const MappedPath& mapped);

std::string JunctionText(const std::string& host_target);
std::string SymbolicLinkText(const std::string& target, bool directory);

}  // namespace sim::internal
