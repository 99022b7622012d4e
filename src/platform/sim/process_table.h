#pragma once
// The processes this sim started: the objects behind process handles (real host processes,
// reaped by the process that started them), and the machine's process table, processes.txt in the
// machine root, which names the Windows image of every process any process of the machine
// started. A record counts as running while its host process id is alive with the same start
// time, so a reused id never inherits a record.

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/types.h"

namespace sim::internal {

struct ProcessObject {
  pid_t pid = 0;
  std::mutex lock;
  bool reaped = false;
  std::uint32_t exit_code = 259;  // STILL_ACTIVE
  bool terminated = false;        // TerminateProcess sent the kill
  std::uint32_t terminate_code = 0;
  std::wstring image_path;        // the Windows path of its program

  ProcessObject() = default;
  ProcessObject(const ProcessObject&) = delete;
  ProcessObject& operator=(const ProcessObject&) = delete;
  ~ProcessObject();

  // Collects the exit status when the process has ended, waiting up to milliseconds
  // (0xFFFFFFFF: without limit); true when it has ended. The caller holds lock.
  bool Reap(std::uint32_t milliseconds);
};

// A host exit status holds 8 bits; a program of the machine that ends with a larger Windows exit
// code (dism's 3010) leaves the whole code in exit-codes/<pid> of the machine root just before it
// exits with the low 8 bits, and Reap takes it from there when those bits agree.
void ReportExitCode(std::uint32_t exit_code);

// WaitForSingleObject on a process (or its thread) handle: kWaitObject0 once it has ended,
// kWaitTimeout, or kWaitFailed for a handle that is not a process.
std::uint32_t WaitForProcess(platform::RawHandle handle, std::uint32_t milliseconds);

// ReadFile of a pipe's read end: what is waiting (at least one byte, blocking until then), or
// kErrorBrokenPipe once every write end is closed and nothing is left.
platform::Win32Error ReadPipe(int fd, void* buffer, std::uint32_t size, std::uint32_t* bytes_read);

struct ProcessRecord {
  std::uint32_t process_id = 0;  // the host process id, which is also its Windows id
  std::uint64_t start_time = 0;  // field 22 of /proc/<pid>/stat
  std::uint32_t parent_process_id = 0;
  std::wstring image_path;  // the full Windows path of the program
};

// /proc/<pid>/stat's start time; 0 when the process does not exist.
std::uint64_t HostStartTime(pid_t pid);
bool IsRunning(const ProcessRecord& record);
void RecordStartedProcess(const ProcessRecord& record);
// Every record of the table, running or ended, oldest first.
std::vector<ProcessRecord> ProcessTable();

// The snapshot's entries of sim::AddUnopenableProcess, and the own executable's file name.
struct UnopenableProcess {
  std::uint32_t process_id = 0;
  std::wstring exe_file;
};
std::vector<UnopenableProcess> UnopenableProcesses();
std::wstring OwnExecutableName();

}  // namespace sim::internal
