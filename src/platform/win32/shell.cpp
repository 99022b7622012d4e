#include <windows.h>
#include <shellapi.h>

#include "platform/shell.h"

namespace platform {

Win32Error ShellExecuteOpenW(const Path& path) {
  HINSTANCE result = ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  auto code = reinterpret_cast<INT_PTR>(result);
  if (code > 32) return kErrorSuccess;
  // Values up to 32 are the old WinExec codes; the common ones equal the Win32 errors.
  switch (code) {
    case 0: return ERROR_OUTOFMEMORY;
    case SE_ERR_ACCESSDENIED: return ERROR_ACCESS_DENIED;
    case SE_ERR_FNF: return ERROR_FILE_NOT_FOUND;
    case SE_ERR_PNF: return ERROR_PATH_NOT_FOUND;
    case SE_ERR_NOASSOC: return ERROR_NO_ASSOCIATION;
    default: {
      DWORD error = ::GetLastError();
      return error ? error : ERROR_GEN_FAILURE;
    }
  }
}

}  // namespace platform
