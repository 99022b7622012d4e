#include <windows.h>

#include "platform/security.h"

namespace platform {

Win32Error GetTokenElevation(bool* elevated) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return ::GetLastError();
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  Win32Error error = kErrorSuccess;
  if (::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) {
    *elevated = elevation.TokenIsElevated != 0;
  } else {
    error = ::GetLastError();
  }
  ::CloseHandle(token);
  return error;
}

Win32Error EnableTokenPrivilege(const std::wstring& privilege_name) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return ::GetLastError();
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  Win32Error error = kErrorSuccess;
  if (!::LookupPrivilegeValueW(nullptr, privilege_name.c_str(), &privileges.Privileges[0].Luid)) {
    error = ::GetLastError();
  } else {
    // AdjustTokenPrivileges succeeds for a privilege the token lacks; only the last error says so.
    ::SetLastError(ERROR_SUCCESS);
    BOOL adjusted = ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    error = ::GetLastError();
    if (!adjusted && error == kErrorSuccess) error = ERROR_ACCESS_DENIED;
  }
  ::CloseHandle(token);
  return error;
}

}  // namespace platform
