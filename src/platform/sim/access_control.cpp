#include "platform/sim/access_control.h"

#include <cinttypes>
#include <cstdio>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/sim/file_status.h"
#include "platform/sim/machine.h"
#include "platform/sim/path_mapping.h"
#include "platform/sim/process_table.h"
#include "platform/sim/shared_store.h"
#include "platform/sim/text.h"

namespace sim::internal {
namespace {

constexpr const wchar_t* kLocalSystem = L"S-1-5-18";
constexpr const wchar_t* kAdministrators = L"S-1-5-32-544";
constexpr const wchar_t* kUsers = L"S-1-5-32-545";
constexpr const wchar_t* kAuthenticatedUsers = L"S-1-5-11";
constexpr const wchar_t* kEveryone = L"S-1-1-0";

constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericExecute = 0x20000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kGenericRead = 0x80000000;
constexpr std::uint32_t kReadData = 0x1;
constexpr std::uint32_t kExecuteFile = 0x20;
constexpr std::uint32_t kWriteRights =
    0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000;
constexpr std::uint32_t kOwnerRights = 0x20000 | 0x40000;  // READ_CONTROL, WRITE_DAC

const std::pair<const wchar_t*, const wchar_t*> kAliases[] = {{L"SY", kLocalSystem},
                                                              {L"BA", kAdministrators},
                                                              {L"BU", kUsers},
                                                              {L"AU", kAuthenticatedUsers},
                                                              {L"WD", kEveryone}};

struct Record {
  StoredAccessList list;
  std::string note;
};

struct AclState {
  std::mutex lock;
  std::uint64_t epoch = 0;
  SharedStore store;
  std::map<FileIdentity, Record> records;
};

AclState& State() {
  static AclState* state = new AclState;
  return *state;
}

std::uint32_t MapGeneric(std::uint32_t rights) {
  std::uint32_t mapped = rights & 0x0FFFFFFF;
  if (rights & kGenericAll) mapped |= kFullControl;
  if (rights & kGenericRead) mapped |= kRead;
  if (rights & kGenericWrite) mapped |= kWrite;
  if (rights & kGenericExecute) mapped |= 0x001200A0;
  return mapped;
}

bool ParseRights(const std::wstring& text, std::uint32_t* rights) {
  if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    wchar_t* end = nullptr;
    unsigned long value = std::wcstoul(text.c_str() + 2, &end, 16);
    if (!end || *end != L'\0') return false;
    *rights = MapGeneric(static_cast<std::uint32_t>(value));
    return true;
  }
  static const std::pair<const wchar_t*, std::uint32_t> kNames[] = {
      {L"FA", kFullControl}, {L"FR", kRead}, {L"FW", kWrite}, {L"FX", 0x001200A0},
      {L"GA", kFullControl}, {L"GR", kRead}, {L"GW", kWrite}, {L"GX", 0x001200A0}};
  *rights = 0;
  if (text.size() % 2 != 0 || text.empty()) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    bool known = false;
    for (const auto& [name, value] : kNames) {
      if (text.compare(i, 2, name) == 0) {
        *rights |= value;
        known = true;
      }
    }
    if (!known) return false;
  }
  return true;
}

bool ParseFlags(const std::wstring& text, std::uint32_t* flags) {
  static const std::pair<const wchar_t*, std::uint32_t> kNames[] = {{L"OI", kObjectInherit},
                                                                    {L"CI", kContainerInherit},
                                                                    {L"NP", kNoPropagate},
                                                                    {L"IO", kInheritOnly},
                                                                    {L"ID", kInheritedAce}};
  *flags = 0;
  if (text.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    bool known = false;
    for (const auto& [name, value] : kNames) {
      if (text.compare(i, 2, name) == 0) {
        *flags |= value;
        known = true;
      }
    }
    if (!known) return false;
  }
  return true;
}

std::wstring AliasOf(const std::wstring& sid) {
  for (const auto& [alias, value] : kAliases) {
    if (sid == value) return alias;
  }
  return sid;
}

std::wstring FormatFlags(std::uint32_t flags) {
  std::wstring text;
  if (flags & kObjectInherit) text += L"OI";
  if (flags & kContainerInherit) text += L"CI";
  if (flags & kNoPropagate) text += L"NP";
  if (flags & kInheritOnly) text += L"IO";
  if (flags & kInheritedAce) text += L"ID";
  return text;
}

std::wstring FormatEntry(const AccessEntry& entry) {
  wchar_t rights[16];
  if (entry.rights == kFullControl) {
    std::swprintf(rights, 16, L"FA");
  } else {
    std::swprintf(rights, 16, L"0x%x", static_cast<unsigned>(entry.rights));
  }
  return std::wstring(L"(") + (entry.allow ? L"A" : L"D") + L";" + FormatFlags(entry.flags) + L";" +
         rights + L";;;" + AliasOf(entry.sid) + L")";
}

std::wstring FormatStored(const StoredAccessList& list) {
  AccessList effective{list.owner_sid, list.protected_dacl, list.entries};
  return FormatSddl(effective);
}

void Parse(const std::string& body, std::map<FileIdentity, Record>* records) {
  records->clear();
  std::istringstream in(body);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == ';') continue;
    FileIdentity id;
    char sddl[4096] = {};
    int consumed = 0;
    if (std::sscanf(line.c_str(), "%" SCNu64 ":%" SCNu64 ":%" SCNd64 ".%" SCNu32 " %4095s %n",
                    &id.device, &id.inode, &id.birth_seconds, &id.birth_nanoseconds, sddl,
                    &consumed) < 5) {
      continue;
    }
    Record record;
    bool has_owner = false;
    bool has_dacl = false;
    if (!ParseSddl(FromUtf8(sddl), &record.list, &has_owner, &has_dacl)) continue;
    record.note = line.substr(static_cast<std::size_t>(consumed));
    (*records)[id] = std::move(record);
  }
}

std::string Format(const std::map<FileIdentity, Record>& records) {
  std::string out =
      "; device:inode:birth-time owner-and-explicit-DACL Windows-path-when-recorded\n";
  char buffer[128];
  for (const auto& [id, record] : records) {
    std::snprintf(buffer, sizeof buffer, "%" PRIu64 ":%" PRIu64 ":%" PRId64 ".%09" PRIu32 " ",
                  id.device, id.inode, id.birth_seconds, id.birth_nanoseconds);
    out += buffer + ToUtf8(FormatStored(record.list)) + " " + record.note + "\n";
  }
  return out;
}

void Refresh(AclState& state) {
  std::uint64_t epoch = MachineEpoch();
  if (state.epoch != epoch) {
    state.epoch = epoch;
    state.store = SharedStore(Root() + "/acls.txt");
    state.records.clear();
  }
  std::string body;
  if (state.store.ReadIfChanged(&body)) Parse(body, &state.records);
}

// A Windows system drive's root: the system and administrators control everything, users read,
// and any signed-in user may create a folder here and modify what is below it.
StoredAccessList DriveRootList() {
  StoredAccessList list;
  list.owner_sid = kLocalSystem;
  list.protected_dacl = true;
  const std::uint32_t all = kObjectInherit | kContainerInherit;
  list.entries = {{kLocalSystem, kFullControl, all, true},
                  {kAdministrators, kFullControl, all, true},
                  {kUsers, kReadExecute, all, true},
                  {kAuthenticatedUsers, kModify, all | kInheritOnly, true},
                  {kAuthenticatedUsers, kAppendData, 0, true}};
  return list;
}

StoredAccessList DefaultList() {
  StoredAccessList list;
  list.owner_sid = kAdministrators;
  return list;
}

// What a parent's effective list passes to a child.
std::vector<AccessEntry> Inherited(const std::vector<AccessEntry>& parent, bool directory) {
  std::vector<AccessEntry> passed;
  for (const AccessEntry& entry : parent) {
    AccessEntry child = entry;
    if (directory && (entry.flags & kContainerInherit)) {
      child.flags = (entry.flags & kNoPropagate) ? 0 : (entry.flags & ~kInheritOnly);
    } else if (directory && (entry.flags & kObjectInherit)) {
      if (entry.flags & kNoPropagate) continue;
      child.flags = (entry.flags & ~kContainerInherit) | kInheritOnly;
    } else if (!directory && (entry.flags & kObjectInherit)) {
      child.flags = 0;
    } else {
      continue;
    }
    child.flags |= kInheritedAce;
    passed.push_back(child);
  }
  return passed;
}

std::vector<std::wstring> TokenOf(const std::wstring& sid) {
  std::vector<std::wstring> token = {sid, kEveryone, kAuthenticatedUsers};
  if (sid == kLocalSystem) token.push_back(kAdministrators);
  if (sid == UserSid()) token.push_back(kUsers);
  return token;
}

bool Holds(const std::vector<std::wstring>& token, const std::wstring& sid) {
  for (const std::wstring& held : token) {
    if (held == sid) return true;
  }
  return false;
}

}  // namespace

std::wstring UserSid() {
  // Machines differ only in the user's relative id, which a name's bytes give.
  std::uint32_t rid = 1001;
  for (char c : Config()->user) rid = rid * 31 + static_cast<unsigned char>(c);
  return L"S-1-5-21-3623811015-3361044348-30300820-" + std::to_wstring(1000 + rid % 100000);
}

std::wstring CreatorOwnerSid() { return Config()->elevated ? kAdministrators : UserSid(); }

void RecordCreator(const std::wstring& path) {
  if (Config()->elevated) return;
  StoredAccessList list = DefaultList();
  list.owner_sid = UserSid();
  StoreAccessList(path, list);
}

std::wstring SidOf(const std::wstring& text) {
  for (const auto& [alias, value] : kAliases) {
    if (text == alias) return value;
  }
  if (text.size() > 4 && text.compare(0, 4, L"S-1-") == 0) return text;
  return {};
}

bool ParseSddl(const std::wstring& sddl, StoredAccessList* list, bool* has_owner, bool* has_dacl) {
  *has_owner = false;
  *has_dacl = false;
  std::size_t at = 0;
  while (at < sddl.size()) {
    if (sddl.compare(at, 2, L"O:") == 0 || sddl.compare(at, 2, L"G:") == 0) {
      bool owner = sddl[at] == L'O';
      at += 2;
      std::size_t end = at;
      while (end < sddl.size() &&
             !(end + 1 < sddl.size() && sddl[end + 1] == L':' &&
               (sddl[end] == L'G' || sddl[end] == L'D' || sddl[end] == L'S'))) {
        ++end;
      }
      std::wstring sid = SidOf(sddl.substr(at, end - at));
      if (sid.empty()) return false;
      if (owner) {
        list->owner_sid = sid;
        *has_owner = true;
      }
      at = end;
    } else if (sddl.compare(at, 2, L"D:") == 0) {
      at += 2;
      *has_dacl = true;
      list->protected_dacl = false;
      list->entries.clear();
      while (at < sddl.size() && sddl[at] != L'(') {
        if (sddl[at] == L'P') list->protected_dacl = true;
        ++at;
      }
      while (at < sddl.size() && sddl[at] == L'(') {
        std::size_t close = sddl.find(L')', at);
        if (close == std::wstring::npos) return false;
        std::vector<std::wstring> fields = Split(sddl.substr(at + 1, close - at - 1), L';');
        if (fields.size() != 6) return false;
        AccessEntry entry;
        if (fields[0] != L"A" && fields[0] != L"D") return false;
        entry.allow = fields[0] == L"A";
        entry.sid = SidOf(fields[5]);
        if (entry.sid.empty() || !ParseFlags(fields[1], &entry.flags) ||
            !ParseRights(fields[2], &entry.rights)) {
          return false;
        }
        list->entries.push_back(entry);
        at = close + 1;
      }
    } else {
      return false;
    }
  }
  return *has_owner || *has_dacl;
}

std::wstring FormatSddl(const AccessList& list) {
  std::wstring text = L"O:" + AliasOf(list.owner_sid) + L"D:";
  if (list.protected_dacl) text += L"P";
  for (const AccessEntry& entry : list.entries) text += FormatEntry(entry);
  return text;
}

std::optional<StoredAccessList> RecordedAccessList(const FileIdentity& identity) {
  AclState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  Refresh(state);
  auto it = state.records.find(identity);
  if (it == state.records.end()) return std::nullopt;
  return it->second.list;
}

void RecordAccessList(const FileIdentity& identity, const StoredAccessList& list,
                      const std::wstring& note) {
  AclState& state = State();
  MachineLock machine(Root());
  std::lock_guard<std::mutex> guard(state.lock);
  Refresh(state);
  state.records[identity] = {list, ToUtf8(note)};
  state.store.Write(Format(state.records));
}

platform::Win32Error ExplicitAccessList(const std::wstring& path, StoredAccessList* list) {
  MappedPath mapped;
  platform::Win32Error error = MapPath(path, &mapped);
  if (error != platform::kErrorSuccess) return error;
  HostEntry entry = ReadEntry(mapped.host);
  if (entry.kind == EntryKind::kMissing) return MissingError(mapped);
  std::optional<StoredAccessList> recorded = RecordedAccessList(entry.identity);
  *list = recorded ? *recorded : mapped.IsRoot() ? DriveRootList() : DefaultList();
  return platform::kErrorSuccess;
}

platform::Win32Error StoreAccessList(const std::wstring& path, const StoredAccessList& list) {
  MappedPath mapped;
  platform::Win32Error error = MapPath(path, &mapped);
  if (error != platform::kErrorSuccess) return error;
  HostEntry entry = ReadEntry(mapped.host);
  if (entry.kind == EntryKind::kMissing) return MissingError(mapped);
  RecordAccessList(entry.identity, list, mapped.windows);
  return platform::kErrorSuccess;
}

platform::Win32Error EffectiveAccessListOf(const std::wstring& path, AccessList* list) {
  MappedPath mapped;
  platform::Win32Error error = MapPath(path, &mapped);
  if (error != platform::kErrorSuccess) return error;
  if (ReadEntry(mapped.host).kind == EntryKind::kMissing) return MissingError(mapped);
  // From the drive root down to the entry, each level inheriting from the one above.
  std::vector<std::wstring> levels = {mapped.windows.substr(0, 3)};
  for (const std::wstring& part : Split(mapped.windows.substr(3), L'\\')) {
    if (part.empty()) continue;
    std::wstring parent = levels.back();
    levels.push_back(parent + (parent.back() == L'\\' ? L"" : L"\\") + part);
  }
  std::vector<AccessEntry> effective;
  for (const std::wstring& level : levels) {
    StoredAccessList stored;
    error = ExplicitAccessList(level, &stored);
    if (error != platform::kErrorSuccess) return error;
    MappedPath level_mapped;
    MapPath(level, &level_mapped);
    bool directory = ReadEntry(level_mapped.host).IsDirectory() || level_mapped.IsRoot();
    std::vector<AccessEntry> next = stored.entries;
    if (!stored.protected_dacl) {
      for (AccessEntry& passed : Inherited(effective, directory)) next.push_back(passed);
    }
    effective = std::move(next);
    list->owner_sid = stored.owner_sid;
    list->protected_dacl = stored.protected_dacl;
  }
  list->entries = std::move(effective);
  return platform::kErrorSuccess;
}

}  // namespace sim::internal

namespace sim {

bool EffectiveAccessList(const std::wstring& path, AccessList* list) {
  return internal::EffectiveAccessListOf(path, list) == platform::kErrorSuccess;
}

Access EffectiveAccess(const std::wstring& path, const std::wstring& sid) {
  Access access;
  AccessList list;
  if (!EffectiveAccessList(path, &list)) return access;
  std::vector<std::wstring> token = internal::TokenOf(sid);
  std::uint32_t allowed = 0;
  std::uint32_t denied = 0;
  for (const AccessEntry& entry : list.entries) {
    if ((entry.flags & internal::kInheritOnly) || !internal::Holds(token, entry.sid)) continue;
    (entry.allow ? allowed : denied) |= entry.rights;
  }
  if (internal::Holds(token, list.owner_sid)) allowed |= internal::kOwnerRights;
  allowed &= ~denied;
  access.read = (allowed & internal::kReadData) != 0;
  access.write = (allowed & internal::kWriteRights) != 0;
  access.execute = (allowed & internal::kExecuteFile) != 0;
  return access;
}

std::wstring MachineUserSid() { return internal::UserSid(); }

std::vector<StartedProcess> StartedProcesses() {
  std::vector<StartedProcess> started;
  for (const internal::ProcessRecord& record : internal::ProcessTable()) {
    started.push_back({record.process_id, record.parent_process_id, record.image_path,
                       internal::IsRunning(record)});
  }
  return started;
}

}  // namespace sim
