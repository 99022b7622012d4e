#pragma once
// Child processes for the process-level tests: an executable started with an exact command line
// (what the Windows entry receives after the program name), on the same machine as the test.

#include <string>
#include <vector>

namespace vellmora::testing {

struct ChildResult {
  bool started = false;
  bool finished = false;  // false when the time limit ran out (the child was killed)
  int exit_code = -1;
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // sim_root: the simulated machine the child must use (ignored on Windows).
  bool Start(const std::string& executable, const std::wstring& command_line,
             const std::string& sim_root);
  ChildResult Wait(int timeout_ms);
  void Kill();
  // Takes over a child started elsewhere (a pid, or a process HANDLE on Windows).
  void Adopt(long long process) { process_ = process; }

 private:
  long long process_ = -1;  // pid, or the process HANDLE on Windows
};

ChildResult RunChild(const std::string& executable, const std::wstring& command_line,
                     const std::string& sim_root, int timeout_ms = 60000);
// For programs with an ordinary argument vector (the developer tools): each argument arrives as
// one argv element, quoted into the command line on Windows. ASCII arguments only.
ChildResult RunChildWithArguments(const std::string& executable,
                                  const std::vector<std::wstring>& arguments,
                                  const std::string& sim_root, int timeout_ms = 60000);

// Path of a sibling test executable or of VellmoraSetup, as the platform can start it.
std::string BuiltExecutable(const char* build_path);

class TestMachine;
// A built executable as a Windows path that the seam's CreateProcessW can start: the build path on
// Windows; on the simulated machine, which starts only programs on its drives, a copy in the
// test's sandbox under name.
std::wstring StartableOnMachine(const char* build_path, const TestMachine& machine,
                                const std::wstring& name);

}  // namespace vellmora::testing
