#pragma once
// Libraries outside Windows' known-DLL list are never imported statically: the installer runs
// elevated from folders anyone can write (Downloads), and the loader would look for a statically
// imported DLL there first. They are loaded at run time from the system folder alone.

#include <windows.h>

namespace platform::win32 {

// Called first by the entry: later LoadLibrary calls (also those made inside system DLLs) search
// the system folder only.
void RestrictDllSearchToSystemFolder();

// LoadLibraryExW(name, LOAD_LIBRARY_SEARCH_SYSTEM32), kept loaded for the life of the process.
// Null when the system folder has no such library; GetLastError tells why.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The exported function `procedure` of the system library `library`, or null.
FARPROC SystemProcedure(const wchar_t* library, const char* procedure);

// Typed form: auto fn = SystemFunction<decltype(&::GetExtendedTcpTable)>(L"iphlpapi.dll", ...).
template <typename Function>
Function SystemFunction(const wchar_t* library, const char* procedure) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(SystemProcedure(library, procedure)));
}

}  // namespace platform::win32
