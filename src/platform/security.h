#pragma once
// The process token.

#include <string>

#include "platform/types.h"

namespace platform {

// GetTokenInformation(TokenElevation) of the process token.
Win32Error GetTokenElevation(bool* elevated);

// Enables one privilege (for example L"SeShutdownPrivilege") in the process token:
// OpenProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY), LookupPrivilegeValueW on the local
// system, AdjustTokenPrivileges with that single privilege. The adjustment counts as failed when
// the call fails or leaves a last-error value other than 0: kErrorNotAllAssigned when the token
// does not hold the privilege at all.
Win32Error EnableTokenPrivilege(const std::wstring& privilege_name);

}  // namespace platform
