#pragma once
// The system folder's tools on a simulated machine. The machine has no Windows programs; a
// command line whose program is one of the tools below, in C:\Windows\System32, runs the
// sim-system-tool helper instead, which does that tool's work on the machine (icacls keeps the
// access lists of access_control.h). Tests make a tool fail through system-tools.txt in the
// machine root ("<tool> <start-error> <exit-code> <does-nothing> [<output in hex>]" lines, see
// sim_control.h).

#include <cstdint>
#include <string>

namespace sim::internal {

// True for the tools the helper implements ("icacls.exe", "dism.exe", "bcdedit.exe"; names
// compared ignoring case).
bool IsSimulatedSystemTool(const std::wstring& file_name);
// A tool that runs although the system folder holds no file of its name (icacls.exe); the others
// need their file there, as on Windows, so that a test can take one away.
bool RunsWithoutItsFile(const std::wstring& file_name);
// The files of the system folder a new machine has: the tools that need their file, and the
// library of the Windows Hypervisor Platform feature ("WinHvPlatform.dll"). system32 is the host
// path of C:\Windows\System32.
bool WriteSystemFolderFiles(const std::string& system32);
// The helper executable; empty when this build has none.
std::string SystemToolHelper();

struct ToolFailure {
  std::uint32_t start_error = 0;  // CreateProcessW fails with this error
  std::uint32_t exit_code = 0;    // else the tool does nothing and exits with this code ...
  bool does_nothing = false;      // ... also when it is 0 and this is set
  std::string output;             // printed instead of the tool's own failure text
};
ToolFailure ToolFailureOf(const std::wstring& file_name);

// Appends one run to system-tool-runs.txt (see sim::SystemToolRuns).
void RecordSystemToolRun(const std::wstring& tool, const std::wstring& command_line,
                         std::uint32_t exit_code);

}  // namespace sim::internal
