#include "platform/security.h"

#include "platform/sim/faults.h"
#include "platform/sim/machine.h"

namespace platform {

Win32Error GetTokenElevation(bool* elevated) {
  *elevated = sim::internal::Config()->elevated;
  return kErrorSuccess;
}

// The simulated token holds every privilege a process of an administrator holds; the
// adjust_privileges fault stands for a token that lacks one.
Win32Error EnableTokenPrivilege(const std::wstring& privilege_name) {
  // LookupPrivilegeValueW knows only the "Se...Privilege" names.
  if (privilege_name.size() <= 11 || privilege_name.compare(0, 2, L"Se") != 0 ||
      privilege_name.compare(privilege_name.size() - 9, 9, L"Privilege") != 0) {
    return kErrorNoSuchPrivilege;
  }
  (void)sim::internal::Config();  // the token belongs to a machine, as every token call does
  return sim::internal::InjectedFault("adjust_privileges", privilege_name);
}

}  // namespace platform
