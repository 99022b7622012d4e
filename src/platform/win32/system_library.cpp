#include "platform/win32/system_library.h"

namespace platform::win32 {

void RestrictDllSearchToSystemFolder() {
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  // A module handle from LoadLibraryExW is reference-counted by the system and stays valid for
  // the process as long as it is never freed; repeated loads return the same module.
  return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

FARPROC SystemProcedure(const wchar_t* library, const char* procedure) {
  HMODULE module = LoadSystemLibrary(library);
  if (module == nullptr) return nullptr;
  return ::GetProcAddress(module, procedure);
}

}  // namespace platform::win32
