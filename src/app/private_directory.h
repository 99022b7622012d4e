#pragma once
// Folders from which the elevated installer runs programs: they admit only LocalSystem and the
// Administrators group, from the moment they exist, so that nobody else can plant a DLL beside
// what runs there.

#include "platform/types.h"

namespace vellmora {

// Owner Administrators; full control for LocalSystem and Administrators, inherited by everything
// below; nothing inherited from above. Ordinary users get nothing.
inline constexpr const wchar_t* kPrivateDirectorySddl = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
inline constexpr const wchar_t* kPrivateDaclSddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// kErrorSuccess when the open directory (a handle with read-control access) is owned by
// LocalSystem or the Administrators group, the owners no ordinary user can be;
// kErrorInvalidOwner otherwise, or the error of the query.
platform::Win32Error CheckOwnedByAdministrators(platform::RawHandle directory);

}  // namespace vellmora
