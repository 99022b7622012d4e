#include "platform/shell.h"

#include "platform/files.h"
#include "platform/process.h"
#include "platform/sim/faults.h"
#include "platform/sim/records.h"
#include "platform/sim/text.h"

namespace platform {
namespace {

Win32Error CheckTarget(const Path& path) {
  if (Win32Error fault = sim::internal::InjectedFault("shell_execute", path)) return fault;
  Win32Error error = kErrorSuccess;
  if (GetFileAttributesW(path, &error) == kInvalidFileAttributes) {
    return error ? error : kErrorFileNotFound;
  }
  return kErrorSuccess;
}

bool IsProgram(const Path& file) {
  return file.size() > 4 && sim::internal::EqualsIgnoringCase(file.substr(file.size() - 4), L".exe");
}

// Records the request and, for a program, starts it as the shell would: a process of its own,
// not waited for. Nobody sits at a simulated machine, so the window itself is not shown.
Win32Error Execute(const std::wstring& verb, const Path& file, const std::wstring& parameters,
                   const Path& directory, int show, const char* route) {
  if (Win32Error error = CheckTarget(file)) return error;
  using sim::internal::ToUtf8;
  sim::internal::AppendRecord(sim::internal::kShellOpenRecord,
                              ToUtf8(verb) + "|" + ToUtf8(file) + "|" + ToUtf8(parameters) + "|" +
                                  ToUtf8(directory) + "|show=" + std::to_string(show) + "|" + route);
  if (!IsProgram(file)) return kErrorSuccess;
  std::wstring command_line = L"\"" + file + L"\"";
  if (!parameters.empty()) command_line += L" " + parameters;
  ProcessInformation started;
  return CreateProcessW(command_line, false, 0, {}, &started);
}

}  // namespace

// The simulated shell checks the target as ShellExecuteW would and records the request.
Win32Error ShellExecuteOpenW(const Path& path) {
  if (Win32Error error = CheckTarget(path)) return error;
  sim::internal::AppendRecord(sim::internal::kShellOpenRecord, "open|" + sim::internal::ToUtf8(path));
  return kErrorSuccess;
}

Win32Error ShellExecuteW(const std::wstring& verb, const Path& file, const std::wstring& parameters,
                         const Path& directory, int show) {
  return Execute(verb, file, parameters, directory, show, "installer");
}

// The machine's user is signed in at its desktop unless a "desktop_shell" fault stands for a
// desktop shell that is missing or lacks an interface.
Win32Error ShellExecuteFromDesktopW(const std::wstring& verb, const Path& file,
                                    const std::wstring& parameters, const Path& directory,
                                    int show, std::string* failed_step) {
  if (Win32Error fault = sim::internal::InjectedFault("desktop_shell", file)) {
    *failed_step = "FindWindowSW";
    return fault;
  }
  Win32Error error = Execute(verb, file, parameters, directory, show, "desktop-user");
  if (error != kErrorSuccess) *failed_step = "IShellDispatch2::ShellExecute";
  return error;
}

}  // namespace platform
