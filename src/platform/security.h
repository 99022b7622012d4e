#pragma once
// The process token, and the security descriptors of files and directories.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

// GetTokenInformation(TokenElevation) of the process token.
Win32Error GetTokenElevation(bool* elevated);

// Access rights a handle needs for the operations below (CreateFileW desired access).
inline constexpr std::uint32_t kAccessReadControl = 0x00020000;
inline constexpr std::uint32_t kAccessWriteDac = 0x00040000;
inline constexpr std::uint32_t kAccessWriteOwner = 0x00080000;

// Well-known SIDs, as ConvertSidToStringSidW writes them.
inline constexpr const wchar_t* kLocalSystemSid = L"S-1-5-18";
inline constexpr const wchar_t* kAdministratorsSid = L"S-1-5-32-544";
inline constexpr const wchar_t* kUsersSid = L"S-1-5-32-545";

// CreateDirectoryW with the security descriptor of an SDDL text (owner and DACL), which the
// directory has from the moment it exists; kErrorAlreadyExists when anything is at the path,
// kErrorInvalidParameter for SDDL that cannot be converted.
Win32Error CreateDirectoryWithSecurityW(const Path& path, const std::wstring& sddl);
// GetSecurityInfo of an open file or directory (a handle with kAccessReadControl): its owner as a
// SID text ("S-1-5-32-544").
Win32Error GetOwnerSid(RawHandle object, std::wstring* owner_sid);
// The owner and DACL of an open file or directory as SDDL
// (ConvertSecurityDescriptorToStringSecurityDescriptorW; well-known SIDs as their aliases).
Win32Error GetSecuritySddl(RawHandle object, std::wstring* sddl);
// SetSecurityInfo of an open file or directory (kAccessWriteDac, and kAccessWriteOwner when the
// SDDL names an owner): the owner and DACL of the SDDL text; "D:P" protects the DACL from
// inheritance.
Win32Error SetSecuritySddl(RawHandle object, const std::wstring& sddl);

}  // namespace platform
