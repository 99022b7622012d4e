#include "child_process.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "test_machine.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>
#endif

namespace vellmora::testing {

#ifdef _WIN32

bool ChildProcess::Start(const std::string& executable, const std::wstring& command_line,
                         const std::string&) {
  std::wstring exe(executable.begin(), executable.end());
  std::wstring line = L"\"" + exe + L"\" " + command_line;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  process_ = reinterpret_cast<long long>(info.hProcess);
  return true;
}

ChildResult ChildProcess::Wait(int timeout_ms) {
  ChildResult result;
  if (process_ == -1) return result;
  result.started = true;
  HANDLE process = reinterpret_cast<HANDLE>(process_);
  if (WaitForSingleObject(process, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
    Kill();
    return result;
  }
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  process_ = -1;
  result.finished = true;
  result.exit_code = static_cast<int>(code);
  return result;
}

void ChildProcess::Kill() {
  if (process_ == -1) return;
  HANDLE process = reinterpret_cast<HANDLE>(process_);
  TerminateProcess(process, 1);
  WaitForSingleObject(process, 5000);
  CloseHandle(process);
  process_ = -1;
}

std::string BuiltExecutable(const char* build_path) {
  // The build tree is reached through Wine's Z: drive, the host's /.
  std::string path = build_path;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

#else

bool ChildProcess::Start(const std::string& executable, const std::wstring& command_line,
                         const std::string& sim_root) {
  std::string line;
  for (wchar_t c : command_line) line.push_back(static_cast<char>(c));
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (!sim_root.empty()) setenv("VELLMORA_SIM_MACHINE", sim_root.c_str(), 1);
    std::vector<char*> argv = {const_cast<char*>(executable.c_str())};
    if (!command_line.empty()) argv.push_back(line.data());
    argv.push_back(nullptr);
    execv(executable.c_str(), argv.data());
    _exit(127);
  }
  process_ = pid;
  return true;
}

ChildResult ChildProcess::Wait(int timeout_ms) {
  ChildResult result;
  if (process_ == -1) return result;
  result.started = true;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    pid_t done = waitpid(static_cast<pid_t>(process_), &status, WNOHANG);
    if (done == static_cast<pid_t>(process_)) {
      process_ = -1;
      result.finished = true;
      result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return result;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      Kill();
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void ChildProcess::Kill() {
  if (process_ == -1) return;
  kill(static_cast<pid_t>(process_), SIGKILL);
  int status = 0;
  waitpid(static_cast<pid_t>(process_), &status, 0);
  process_ = -1;
}

std::string BuiltExecutable(const char* build_path) { return build_path; }

#endif

std::wstring StartableOnMachine(const char* build_path, const TestMachine& machine,
                                const std::wstring& name) {
  std::string built = BuiltExecutable(build_path);
  if (!TestMachine::IsSimulated()) return std::wstring(built.begin(), built.end());
  platform::Path copy = machine.In(name);
  std::ifstream in(built, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return WriteTestFile(copy, bytes.str()) ? copy : platform::Path();
}

ChildProcess::~ChildProcess() { Kill(); }

ChildResult RunChildWithArguments(const std::string& executable,
                                  const std::vector<std::wstring>& arguments,
                                  const std::string& sim_root, int timeout_ms) {
#ifdef _WIN32
  std::wstring line;
  for (const auto& argument : arguments) line += (line.empty() ? L"\"" : L" \"") + argument + L"\"";
  return RunChild(executable, line, sim_root, timeout_ms);
#else
  std::vector<std::string> narrow;
  for (const auto& argument : arguments) narrow.emplace_back(argument.begin(), argument.end());
  pid_t pid = fork();
  if (pid < 0) return {};
  if (pid == 0) {
    if (!sim_root.empty()) setenv("VELLMORA_SIM_MACHINE", sim_root.c_str(), 1);
    std::vector<char*> argv = {const_cast<char*>(executable.c_str())};
    for (auto& argument : narrow) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(executable.c_str(), argv.data());
    _exit(127);
  }
  ChildProcess child;
  child.Adopt(pid);
  return child.Wait(timeout_ms);
#endif
}

ChildResult RunChild(const std::string& executable, const std::wstring& command_line,
                     const std::string& sim_root, int timeout_ms) {
  ChildProcess child;
  if (!child.Start(executable, command_line, sim_root)) return {};
  return child.Wait(timeout_ms);
}

}  // namespace vellmora::testing
