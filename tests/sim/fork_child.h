#pragma once
// Runs a piece of a test in a forked child process, which stands for another process on the same
// simulated machine (the sim gives a forked child mutex and lock state of its own).

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace sim_tests {

struct ChildResult {
  bool exited = false;
  int code = -1;    // exit code when exited
  int signal = 0;   // terminating signal otherwise
};

inline ChildResult RunInChild(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  ChildResult result;
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return result;
  result.exited = WIFEXITED(status);
  result.code = result.exited ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return result;
}

// Starts a child and returns its pid without waiting; the caller reaps it with WaitChild.
inline pid_t StartChild(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

inline ChildResult WaitChild(pid_t pid) {
  ChildResult result;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return result;
  result.exited = WIFEXITED(status);
  result.code = result.exited ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return result;
}

}  // namespace sim_tests
