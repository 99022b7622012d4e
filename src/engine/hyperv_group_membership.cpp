#include "engine/hyperv_group_membership.h"

#include <string>

#include "platform/accounts.h"

namespace vellmora {

HyperVGroupState EnsureHyperVAdministratorsMembership() {
  using platform::kErrorSuccess;
  platform::Sid user;
  if (platform::GetTokenUser(&user) != kErrorSuccess) return HyperVGroupState::kFailed;
  platform::Sid group;
  if (platform::ConvertStringSidToSidW(platform::kHyperVAdministratorsSid, &group) !=
      kErrorSuccess) {
    return HyperVGroupState::kFailed;
  }
  bool member = false;
  if (platform::CheckTokenMembership(group, &member) != kErrorSuccess) {
    return HyperVGroupState::kFailed;
  }
  if (member) return HyperVGroupState::kAlreadyMember;
  // The group's name is localised ("Administradores do Hyper-V"), and the add goes by name.
  std::wstring name;
  std::wstring domain;
  if (platform::LookupAccountSidW(group, &name, &domain) != kErrorSuccess) {
    return HyperVGroupState::kFailed;
  }
  const platform::Win32Error added = platform::NetLocalGroupAddMembers(name, user);
  return added == kErrorSuccess || added == platform::kErrorMemberInAlias
             ? HyperVGroupState::kAdded
             : HyperVGroupState::kFailed;
}

}  // namespace vellmora
