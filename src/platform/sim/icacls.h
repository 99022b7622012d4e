#pragma once
// icacls.exe of the simulated machine, over the access lists of access_control.h: the forms the
// installer runs (one target; /grant and /grant:r with SIDs ("*S-1-5-18") or the names SYSTEM,
// Administrators and Users, inheritance flags (OI)(CI)(IO)(NP) and the rights F, M, RX, R, W;
// /inheritance:e, /inheritance:d, /inheritance:r; /reset; /T, /C, /Q). Its output and exit codes
// are those of Windows: 0 when every entry was processed, else the last error (87 for a command
// line it does not accept).

#include <string>
#include <vector>

namespace sim::internal {

// arguments without the program name; returns the exit code and appends what icacls prints.
int RunIcacls(const std::vector<std::wstring>& arguments, std::string* output);

}  // namespace sim::internal
