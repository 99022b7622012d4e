#pragma once
// regsvr32.exe of the simulated machine: "[/s] [/u] <library>" loads nothing, it applies (or with
// /u removes) the registration block the library carries, as the stand-ins' DllRegisterServer
// and DllUnregisterServer do. Exit codes as regsvr32's: 0 done, 1 a command line it does not
// take, 3 the library cannot be loaded (missing or unreadable), 4 it has no registration entry
// point (no block), 5 the registration itself failed.

#include <string>
#include <vector>

namespace sim::internal {

// arguments without the program name; returns the exit code and appends what regsvr32 says
// (it shows a message box on Windows unless /s is given).
int RunRegsvr32(const std::vector<std::wstring>& arguments, std::string* output);

}  // namespace sim::internal
