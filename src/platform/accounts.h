#pragma once
// Accounts: security identifiers, the process token's user and groups, and the machine's local
// groups (the NetLocalGroup* functions of netapi32).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace platform {

inline constexpr Win32Error kErrorNoneMapped = 1332;     // ERROR_NONE_MAPPED
inline constexpr Win32Error kErrorInvalidSid = 1337;     // ERROR_INVALID_SID
inline constexpr Win32Error kErrorNoSuchAlias = 1376;    // ERROR_NO_SUCH_ALIAS
inline constexpr Win32Error kErrorMemberInAlias = 1378;  // ERROR_MEMBER_IN_ALIAS
inline constexpr Win32Error kErrorNoSuchMember = 1387;   // ERROR_NO_SUCH_MEMBER
inline constexpr Win32Error kNerrGroupNotFound = 2220;   // NERR_GroupNotFound

// The built-in Hyper-V Administrators group.
inline constexpr const wchar_t* kHyperVAdministratorsSid = L"S-1-5-32-578";

// A SID in its binary form (revision, sub-authority count, 48-bit authority, sub-authorities),
// as Windows keeps it in memory.
struct Sid {
  std::vector<std::uint8_t> bytes;
};

// ConvertStringSidToSidW: "S-1-5-32-578" to its binary form; kErrorInvalidSid for text that is no
// SID.
Win32Error ConvertStringSidToSidW(const std::wstring& text, Sid* sid);
// ConvertSidToStringSidW.
Win32Error ConvertSidToStringSidW(const Sid& sid, std::wstring* text);

// GetTokenInformation(TokenUser) of the process token, opened with TOKEN_QUERY.
Win32Error GetTokenUser(Sid* user);
// CheckTokenMembership(null, group): whether the calling thread's effective token holds the group
// enabled. A group the user joined after logging on is not in the token until the next logon.
Win32Error CheckTokenMembership(const Sid& group, bool* is_member);
// LookupAccountSidW on the local system: the account's name (localised for built-in groups, e.g.
// "Hyper-V Administrators") and its domain ("BUILTIN"); kErrorNoneMapped for an unknown SID.
Win32Error LookupAccountSidW(const Sid& sid, std::wstring* name, std::wstring* domain);
// NetLocalGroupAddMembers(null, group_name, 0, {member}, 1) on the local computer. Its
// NET_API_STATUS: 0, kErrorMemberInAlias when the member is already listed, kNerrGroupNotFound,
// kErrorNoSuchMember, kErrorAccessDenied without administrator rights.
Win32Error NetLocalGroupAddMembers(const std::wstring& group_name, const Sid& member);

}  // namespace platform
