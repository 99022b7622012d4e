#pragma once
// File attributes that the host file system cannot hold: hidden, system and archive of every
// entry, and read-only of anything but a regular file (a regular file is read-only when its host
// mode lacks the owner's write bit). They are kept in attributes.txt, keyed by the entry's host
// identity (device, inode and birth time), which a rename keeps and a new file never shares, so
// that moves need no bookkeeping and a stale record cannot attach itself to a newer file.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace sim::internal {

struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t birth_seconds = 0;
  std::uint32_t birth_nanoseconds = 0;

  auto operator<=>(const FileIdentity&) const = default;
};

// The identity of the entry itself (links are not followed).
bool IdentityOf(const std::string& host_path, FileIdentity* identity);
// The identity of the file an open descriptor refers to.
bool IdentityOfDescriptor(int fd, FileIdentity* identity);

// The recorded attribute bits; nullopt for an entry that keeps the defaults.
std::optional<std::uint32_t> RecordedAttributes(const FileIdentity& identity);
// Records the bits (nullopt forgets the entry); note is the entry's Windows path, kept beside the
// record for people reading the file.
void RecordAttributes(const FileIdentity& identity, std::optional<std::uint32_t> attributes,
                      const std::wstring& note);

}  // namespace sim::internal
