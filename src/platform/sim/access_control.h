#pragma once
// The access lists of the simulated machine: an owner, a protected flag and explicit entries per
// file or directory, kept in acls.txt in the machine root and keyed by the entry's host identity
// (as attributes.txt is), so that a rename keeps them. The effective list of an entry is its
// explicit entries followed, unless it is protected, by what its parent's effective list passes
// down: (CI) entries to sub-directories, (OI) entries to files, (OI) alone to sub-directories as
// inherit-only, (NP) one level only. Drive roots carry the entries of a Windows system drive,
// under which an ordinary user may create a folder and modify what it holds.
// Entries with no record are owned by the Administrators group and have no explicit entries.
// The sim does not enforce these lists on its file operations; icacls, the security seam and
// the tests' questions ("may the Users group write here?") read and change them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/attribute_store.h"
#include "platform/sim/sim_control.h"
#include "platform/types.h"

namespace sim::internal {

struct StoredAccessList {
  std::wstring owner_sid;  // S-1-... form
  bool protected_dacl = false;
  std::vector<AccessEntry> entries;  // explicit ones only
};

// ACE flags (OBJECT_INHERIT_ACE, ...).
inline constexpr std::uint32_t kObjectInherit = 0x1;
inline constexpr std::uint32_t kContainerInherit = 0x2;
inline constexpr std::uint32_t kNoPropagate = 0x4;
inline constexpr std::uint32_t kInheritOnly = 0x8;
inline constexpr std::uint32_t kInheritedAce = 0x10;

// Rights (file access masks).
inline constexpr std::uint32_t kFullControl = 0x001F01FF;
inline constexpr std::uint32_t kModify = 0x001301BF;
inline constexpr std::uint32_t kReadExecute = 0x001200A9;
inline constexpr std::uint32_t kRead = 0x00120089;
inline constexpr std::uint32_t kWrite = 0x00100116;
inline constexpr std::uint32_t kAppendData = 0x00000004;

// The user of the machine (machine.ini's user), as a SID.
std::wstring UserSid();
// The owner of what this process creates: the Administrators group for an elevated token, the
// user otherwise.
std::wstring CreatorOwnerSid();
// Records the creator as the owner of a new entry when that is not the default owner.
void RecordCreator(const std::wstring& path);
// The SID of a well-known SDDL alias ("SY", "BA", "BU", "AU", "WD") or of S-1-... text; empty
// when neither.
std::wstring SidOf(const std::wstring& text);

// SDDL with an owner ("O:") and a DACL ("D:" with P for protected, then (A;flags;rights;;;sid)
// entries; rights as FA, FR, FW, FX, GA, GR, GW, GX or a 0x number). False when it cannot be read.
bool ParseSddl(const std::wstring& sddl, StoredAccessList* list, bool* has_owner, bool* has_dacl);
// The effective list as Windows writes it: aliases for well-known SIDs, FA for full control,
// inherited entries marked ID.
std::wstring FormatSddl(const AccessList& list);

// The record of an entry; nullopt when it has none.
std::optional<StoredAccessList> RecordedAccessList(const FileIdentity& identity);
void RecordAccessList(const FileIdentity& identity, const StoredAccessList& list,
                      const std::wstring& note);
// Stores an explicit list for the entry at a Windows path; an error when it does not exist.
platform::Win32Error StoreAccessList(const std::wstring& path, const StoredAccessList& list);
// The explicit list of a path (a default one when it has no record).
platform::Win32Error ExplicitAccessList(const std::wstring& path, StoredAccessList* list);
// The effective list of a path.
platform::Win32Error EffectiveAccessListOf(const std::wstring& path, AccessList* list);

}  // namespace sim::internal
