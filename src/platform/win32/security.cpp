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

}  // namespace platform
