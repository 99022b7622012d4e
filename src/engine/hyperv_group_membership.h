#pragma once
// Access to Hyper-V for the user without elevation: membership of the local Hyper-V
// Administrators group (S-1-5-32-578).

namespace vellmora {

enum class HyperVGroupState {
  kAlreadyMember,  // the process token holds the group
  kAdded,          // the user is listed now (or already was), but the token has not got the group:
                   // it takes effect at the next logon
  kFailed,
};

// Adds the process token's user to the group unless the token holds it already. Logs nothing:
// the caller words the outcome.
HyperVGroupState EnsureHyperVAdministratorsMembership();

}  // namespace vellmora
