#include "platform/security.h"

#include <memory>

#include "platform/files.h"
#include "platform/sim/access_control.h"
#include "platform/sim/handle_table.h"
#include "platform/sim/machine.h"

namespace platform {
namespace {

std::shared_ptr<sim::internal::FileObject> FileOf(RawHandle handle) {
  auto object = sim::internal::FindHandle(handle);
  auto* file = std::get_if<std::shared_ptr<sim::internal::FileObject>>(&object);
  return file && !(*file)->pipe ? *file : nullptr;
}

}  // namespace

Win32Error GetTokenElevation(bool* elevated) {
  *elevated = sim::internal::Config()->elevated;
  return kErrorSuccess;
}

Win32Error CreateDirectoryWithSecurityW(const Path& path, const std::wstring& sddl) {
  sim::internal::StoredAccessList list;
  bool has_owner = false;
  bool has_dacl = false;
  if (!sim::internal::ParseSddl(sddl, &list, &has_owner, &has_dacl)) {
    return kErrorInvalidParameter;
  }
  if (!has_owner) list.owner_sid = sim::internal::CreatorOwnerSid();
  Win32Error error = CreateDirectoryW(path);
  if (error != kErrorSuccess) return error;
  return sim::internal::StoreAccessList(path, list);
}

Win32Error GetOwnerSid(RawHandle object, std::wstring* owner_sid) {
  std::shared_ptr<sim::internal::FileObject> file = FileOf(object);
  if (!file) return kErrorInvalidHandle;
  std::optional<sim::internal::StoredAccessList> recorded =
      sim::internal::RecordedAccessList(file->identity);
  if (recorded) {
    *owner_sid = recorded->owner_sid;
    return kErrorSuccess;
  }
  sim::internal::StoredAccessList list;
  Win32Error error = sim::internal::ExplicitAccessList(file->windows_path, &list);
  if (error == kErrorSuccess) *owner_sid = list.owner_sid;
  return error;
}

Win32Error GetSecuritySddl(RawHandle object, std::wstring* sddl) {
  std::shared_ptr<sim::internal::FileObject> file = FileOf(object);
  if (!file) return kErrorInvalidHandle;
  sim::AccessList list;
  Win32Error error = sim::internal::EffectiveAccessListOf(file->windows_path, &list);
  if (error == kErrorSuccess) *sddl = sim::internal::FormatSddl(list);
  return error;
}

Win32Error SetSecuritySddl(RawHandle object, const std::wstring& sddl) {
  std::shared_ptr<sim::internal::FileObject> file = FileOf(object);
  if (!file) return kErrorInvalidHandle;
  sim::internal::StoredAccessList wanted;
  bool has_owner = false;
  bool has_dacl = false;
  if (!sim::internal::ParseSddl(sddl, &wanted, &has_owner, &has_dacl)) {
    return kErrorInvalidParameter;
  }
  sim::internal::StoredAccessList list;
  std::optional<sim::internal::StoredAccessList> recorded =
      sim::internal::RecordedAccessList(file->identity);
  if (recorded) {
    list = *recorded;
  } else {
    Win32Error error = sim::internal::ExplicitAccessList(file->windows_path, &list);
    if (error != kErrorSuccess) return error;
  }
  if (has_owner) list.owner_sid = wanted.owner_sid;
  if (has_dacl) {
    list.protected_dacl = wanted.protected_dacl;
    list.entries.clear();
    for (const sim::AccessEntry& entry : wanted.entries) {
      if (!(entry.flags & sim::internal::kInheritedAce)) list.entries.push_back(entry);
    }
  }
  sim::internal::RecordAccessList(file->identity, list, file->windows_path);
  return kErrorSuccess;
}

}  // namespace platform
