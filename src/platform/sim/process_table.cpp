#include "platform/sim/process_table.h"

#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/sim/errors.h"
#include "platform/sim/handle_table.h"
#include "platform/sim/machine.h"
#include "platform/sim/shared_store.h"
#include "platform/sim/text.h"
#include "platform/sync.h"

namespace sim::internal {
namespace {

constexpr std::size_t kMaximumRecords = 4096;

std::string TablePath() { return Root() + "/processes.txt"; }

std::uint32_t ExitCodeOf(int status) {
  if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
  // A host signal the product did not send: the shell's convention.
  return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
}

std::string ExitCodePath(pid_t pid) { return Root() + "/exit-codes/" + std::to_string(pid); }

// The status's code, or the whole Windows code the process left for it.
std::uint32_t ReportedExitCode(pid_t pid, int status) {
  std::uint32_t code = ExitCodeOf(status);
  if (!WIFEXITED(status)) return code;
  const std::string path = ExitCodePath(pid);
  std::uint32_t reported = 0;
  std::ifstream in(path);
  if (in >> reported && (reported & 0xFFu) == code) code = reported;
  in.close();
  unlink(path.c_str());
  return code;
}

std::vector<ProcessRecord> Parse(const std::string& text) {
  std::vector<ProcessRecord> records;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == ';') continue;
    ProcessRecord record;
    int consumed = 0;
    if (std::sscanf(line.c_str(), "%" SCNu32 " %" SCNu64 " %" SCNu32 " %n", &record.process_id,
                    &record.start_time, &record.parent_process_id, &consumed) < 3) {
      continue;
    }
    record.image_path = FromUtf8(line.substr(static_cast<std::size_t>(consumed)));
    records.push_back(record);
  }
  return records;
}

std::string Format(const std::vector<ProcessRecord>& records) {
  std::string out = "; process-id host-start-time parent-process-id Windows-image-path\n";
  char buffer[96];
  for (const ProcessRecord& record : records) {
    std::snprintf(buffer, sizeof buffer, "%" PRIu32 " %" PRIu64 " %" PRIu32 " ", record.process_id,
                  record.start_time, record.parent_process_id);
    out += buffer + ToUtf8(record.image_path) + "\n";
  }
  return out;
}

std::string ReadTable() {
  std::ifstream in(TablePath(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

void ReportExitCode(std::uint32_t exit_code) {
  if (exit_code <= 0xFF) return;
  mkdir((Root() + "/exit-codes").c_str(), 0777);
  std::ofstream(ExitCodePath(getpid())) << exit_code << "\n";
}

ProcessObject::~ProcessObject() {
  // Collect a child that has ended so that it leaves no zombie; a running one goes on running, as
  // a Windows process outlives the handles to it.
  if (!reaped && pid > 0) {
    int status = 0;
    waitpid(pid, &status, WNOHANG);
  }
}

bool ProcessObject::Reap(std::uint32_t milliseconds) {
  if (reaped) return true;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      reaped = true;
      bool killed_by_us = terminated && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
      exit_code = killed_by_us ? terminate_code : ReportedExitCode(pid, status);
      return true;
    }
    if (done < 0 && errno != EINTR) {
      // Not our child (or already collected elsewhere): it has ended as far as anyone can tell.
      reaped = true;
      exit_code = terminated ? terminate_code : 1;
      return true;
    }
    if (milliseconds != platform::kInfinite && std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::uint32_t WaitForProcess(platform::RawHandle handle, std::uint32_t milliseconds) {
  auto object = FindHandle(handle);
  auto* process = std::get_if<std::shared_ptr<ProcessObject>>(&object);
  if (!process) return platform::kWaitFailed;
  std::lock_guard<std::mutex> guard((*process)->lock);
  return (*process)->Reap(milliseconds) ? platform::kWaitObject0 : platform::kWaitTimeout;
}

platform::Win32Error ReadPipe(int fd, void* buffer, std::uint32_t size, std::uint32_t* bytes_read) {
  for (;;) {
    ssize_t got = read(fd, buffer, size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ErrorFromErrno(errno);
    if (got == 0) return platform::kErrorBrokenPipe;
    if (bytes_read) *bytes_read = static_cast<std::uint32_t>(got);
    return platform::kErrorSuccess;
  }
}

std::uint64_t HostStartTime(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The command name in parentheses may hold blanks: count fields after its closing one.
  std::size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  for (int index = 3; index <= 22 && fields >> field; ++index) {
    if (index == 22) return std::strtoull(field.c_str(), nullptr, 10);
  }
  return 0;
}

bool IsRunning(const ProcessRecord& record) {
  if (record.process_id == 0) return false;
  pid_t pid = static_cast<pid_t>(record.process_id);
  if (HostStartTime(pid) != record.start_time) return false;
  // A zombie has ended; only its parent's wait has not collected it yet.
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z' &&
         text[close + 2] != 'X';
}

void RecordStartedProcess(const ProcessRecord& record) {
  MachineLock machine(Root());
  std::vector<ProcessRecord> records = Parse(ReadTable());
  records.push_back(record);
  // Ended processes go first when the table is full; running ones are always kept.
  for (std::size_t i = 0; records.size() > kMaximumRecords && i < records.size();) {
    if (!IsRunning(records[i])) {
      records.erase(records.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  WriteFileAtomically(TablePath(), Format(records));
}

std::vector<ProcessRecord> ProcessTable() { return Parse(ReadTable()); }

namespace {

std::mutex g_unopenable_lock;
std::vector<UnopenableProcess>& Unopenable() {
  static auto* list = new std::vector<UnopenableProcess>;
  return *list;
}

}  // namespace

std::vector<UnopenableProcess> UnopenableProcesses() {
  std::lock_guard<std::mutex> guard(g_unopenable_lock);
  return Unopenable();
}

std::wstring OwnExecutableName() {
  char buffer[4096];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  std::string path(buffer, static_cast<std::size_t>(length));
  return FromUtf8(path.substr(path.rfind('/') + 1));
}

}  // namespace sim::internal

namespace sim {

std::uint32_t AddUnopenableProcess(const std::wstring& exe_file) {
  std::lock_guard<std::mutex> guard(internal::g_unopenable_lock);
  // Ids above any host pid (pid_max is at most 2^22), multiples of 4 as on Windows.
  auto id = static_cast<std::uint32_t>(0x40000000u + 4u * internal::Unopenable().size());
  internal::Unopenable().push_back({id, exe_file});
  return id;
}

void ClearUnopenableProcesses() {
  std::lock_guard<std::mutex> guard(internal::g_unopenable_lock);
  internal::Unopenable().clear();
}

}  // namespace sim
