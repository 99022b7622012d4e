#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/sim/command_line.h"
#include "platform/sim/errors.h"
#include "platform/sim/file_status.h"
#include "platform/sim/handle_table.h"
#include "platform/sim/machine.h"
#include "platform/sim/path_mapping.h"
#include "platform/sim/process_table.h"
#include "platform/sim/system_tools.h"
#include "platform/sim/text.h"
#include "platform/system.h"

extern char** environ;

namespace platform {
namespace {

using sim::internal::FileObject;
using sim::internal::ProcessObject;

std::shared_ptr<FileObject> FileOf(RawHandle handle) {
  auto object = sim::internal::FindHandle(handle);
  auto* file = std::get_if<std::shared_ptr<FileObject>>(&object);
  return file ? *file : nullptr;
}

std::shared_ptr<ProcessObject> ProcessOf(RawHandle handle) {
  auto object = sim::internal::FindHandle(handle);
  auto* process = std::get_if<std::shared_ptr<ProcessObject>>(&object);
  return process ? *process : nullptr;
}

bool HasDirectory(const std::wstring& name) {
  return name.find_first_of(L"\\/:") != std::wstring::npos;
}

bool HasExtension(const std::wstring& name) {
  std::size_t dot = name.rfind(L'.');
  return dot != std::wstring::npos && name.find_first_of(L"\\/", dot) == std::wstring::npos;
}

bool IsExistingFile(const std::wstring& path) {
  FileStatus status;
  return GetFileStatus(path, &status) == kErrorSuccess &&
         !(status.attributes & kAttributeDirectory);
}

// Where Windows looks for a program named without a folder: the executable's folder, the current
// directory, the system folder. The result is a full Windows path.
Win32Error ResolveImage(std::wstring program, std::wstring* image) {
  if (program.empty()) return kErrorFileNotFound;
  if (!HasExtension(program)) program += L".exe";
  std::vector<std::wstring> candidates;
  if (HasDirectory(program)) {
    candidates.push_back(program);
  } else {
    Path module = GetModuleFileNameW();
    std::size_t slash = module.rfind(L'\\');
    if (slash != std::wstring::npos) candidates.push_back(module.substr(0, slash + 1) + program);
    candidates.push_back(sim::internal::Config()->current_directory + L"\\" + program);
    candidates.push_back(GetSystemDirectoryW() + L"\\" + program);
  }
  for (const std::wstring& candidate : candidates) {
    std::wstring full;
    if (GetFullPathNameW(candidate, &full) != kErrorSuccess) continue;
    std::size_t slash = full.rfind(L'\\');
    bool system_tool =
        slash != std::wstring::npos &&
        sim::internal::EqualsIgnoringCase(full.substr(0, slash), GetSystemDirectoryW()) &&
        sim::internal::IsSimulatedSystemTool(full.substr(slash + 1)) &&
        sim::internal::RunsWithoutItsFile(full.substr(slash + 1));
    if (system_tool || IsExistingFile(full)) {
      *image = full;
      return kErrorSuccess;
    }
  }
  // A program named with its folder: a missing folder is a missing path, as Windows says.
  sim::internal::MappedPath mapped;
  if (HasDirectory(program) &&
      sim::internal::MapPath(candidates.front(), &mapped) == kErrorSuccess) {
    return sim::internal::MissingError(mapped);
  }
  return kErrorFileNotFound;
}

// Whether a host file starts as a PE image does: such a program runs as a stand-in.
bool IsPeImage(const std::string& host_path) {
  char magic[2] = {};
  FILE* file = std::fopen(host_path.c_str(), "rb");
  if (!file) return false;
  const bool pe = std::fread(magic, 1, 2, file) == 2 && magic[0] == 'M' && magic[1] == 'Z';
  std::fclose(file);
  return pe;
}

Win32Error SpawnError(int error) {
  switch (error) {
    case ENOEXEC:
      return kErrorBadExeFormat;
    default:
      return sim::internal::ErrorFromErrno(error);
  }
}

// The host file descriptor a child gets as standard handle number, when it may have it.
int InheritedDescriptor(RawHandle handle, bool inherit_handles) {
  if (!inherit_handles || handle == kNoHandle || handle == 0) return -1;
  std::shared_ptr<FileObject> file = FileOf(handle);
  return file && file->inheritable ? file->fd : -1;
}

std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> environment;
  for (char** entry = environ; entry && *entry; ++entry) {
    if (std::strncmp(*entry, "VELLMORA_SIM_MACHINE=", 21) != 0) environment.emplace_back(*entry);
  }
  environment.push_back("VELLMORA_SIM_MACHINE=" + sim::internal::Root());
  return environment;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

Win32Error CreateProcessW(const std::wstring& command_line, bool inherit_handles,
                          std::uint32_t /*creation_flags: no window exists on the sim*/,
                          const StartupInfo& startup, ProcessInformation* information) {
  std::vector<std::wstring> arguments = sim::internal::SplitCommandLine(command_line);
  if (arguments.empty()) return kErrorFileNotFound;
  std::wstring image;
  Win32Error error = ResolveImage(arguments[0], &image);
  if (error != kErrorSuccess) return error;

  std::size_t slash = image.rfind(L'\\');
  std::wstring file_name = image.substr(slash + 1);
  std::vector<std::string> host_arguments;
  std::string host_program;
  bool system_tool =
      sim::internal::EqualsIgnoringCase(image.substr(0, slash), GetSystemDirectoryW()) &&
      sim::internal::IsSimulatedSystemTool(file_name);
  if (system_tool) {
    sim::internal::ToolFailure failure = sim::internal::ToolFailureOf(file_name);
    if (failure.start_error != 0) return failure.start_error;
    host_program = sim::internal::SystemToolHelper();
    if (host_program.empty()) return kErrorFileNotFound;
    // The helper reads its tool's command line as Windows gives it, paths unmapped.
    host_arguments = {host_program, sim::internal::ToUtf8(file_name),
                      sim::internal::ToUtf8(command_line)};
  } else {
    sim::internal::MappedPath mapped;
    error = sim::internal::MapPath(image, &mapped);
    if (error != kErrorSuccess) return error;
    host_program = mapped.host;
  }
  if (!system_tool && IsPeImage(host_program)) {
    // The machine cannot execute PE images: the helper behaves as the Engine's stand-in would.
    host_program = sim::internal::SystemToolHelper();
    if (host_program.empty()) return kErrorFileNotFound;
    host_arguments = {host_program, "--standin", sim::internal::ToUtf8(image),
                      sim::internal::ToUtf8(command_line)};
  } else if (!system_tool) {
    // Windows runs any image it may read; the host wants an execute bit.
    struct stat st {};
    if (stat(host_program.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) == 0) {
      chmod(host_program.c_str(), (st.st_mode & 07777) | S_IXUSR | S_IXGRP | S_IXOTH);
    }
    host_arguments.push_back(host_program);
    for (std::size_t i = 1; i < arguments.size(); ++i) {
      host_arguments.push_back(sim::internal::HostArgument(arguments[i]));
    }
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const RawHandle standard[3] = {startup.std_input, startup.std_output, startup.std_error};
  for (int number = 0; number < 3; ++number) {
    int fd = startup.use_std_handles ? InheritedDescriptor(standard[number], inherit_handles) : -1;
    if (fd >= 0) {
      posix_spawn_file_actions_adddup2(&actions, fd, number);
    } else {
      posix_spawn_file_actions_addopen(&actions, number, "/dev/null",
                                       number == 0 ? O_RDONLY : O_WRONLY, 0);
    }
  }
  // Nothing else of the parent's reaches the child (mutex lock files above all).
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sim::internal::MappedPath current;
  if (sim::internal::MapPath(sim::internal::Config()->current_directory, &current) ==
      kErrorSuccess) {
    struct stat st {};
    if (stat(current.host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      posix_spawn_file_actions_addchdir_np(&actions, current.host.c_str());
    }
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> environment = ChildEnvironment();
  std::vector<char*> argv = Pointers(host_arguments);
  std::vector<char*> envp = Pointers(environment);
  pid_t pid = 0;
  int spawned =
      posix_spawn(&pid, host_program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return SpawnError(spawned);

  auto process = std::make_shared<ProcessObject>();
  process->pid = pid;
  process->image_path = image;
  sim::internal::RecordStartedProcess({static_cast<std::uint32_t>(pid),
                                       sim::internal::HostStartTime(pid), GetCurrentProcessId(),
                                       image});
  information->process.Reset(sim::internal::AddHandle(process));
  // The child's one thread ends with it: its handle waits on the same object.
  information->thread.Reset(sim::internal::AddHandle(process));
  information->process_id = static_cast<std::uint32_t>(pid);
  information->thread_id = static_cast<std::uint32_t>(pid);
  return kErrorSuccess;
}

Win32Error TerminateProcess(RawHandle handle, std::uint32_t exit_code) {
  std::shared_ptr<ProcessObject> process = ProcessOf(handle);
  if (!process) return kErrorInvalidHandle;
  std::lock_guard<std::mutex> guard(process->lock);
  if (process->Reap(0)) return kErrorAccessDenied;
  if (!process->terminated) {
    process->terminated = true;
    process->terminate_code = exit_code;
  }
  kill(process->pid, SIGKILL);
  return kErrorSuccess;
}

Win32Error GetExitCodeProcess(RawHandle handle, std::uint32_t* exit_code) {
  std::shared_ptr<ProcessObject> process = ProcessOf(handle);
  if (!process) return kErrorInvalidHandle;
  std::lock_guard<std::mutex> guard(process->lock);
  *exit_code = process->Reap(0) ? process->exit_code : kStillActive;
  return kErrorSuccess;
}

Win32Error CreatePipe(bool inheritable, UniqueHandle* read_end, UniqueHandle* write_end) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return sim::internal::ErrorFromErrno(errno);
  auto reader = std::make_shared<FileObject>();
  reader->fd = fds[0];
  reader->pipe = true;
  reader->may = sim::internal::kMayRead;
  reader->inheritable = inheritable;
  auto writer = std::make_shared<FileObject>();
  writer->fd = fds[1];
  writer->pipe = true;
  writer->may = sim::internal::kMayWrite;
  writer->inheritable = inheritable;
  read_end->Reset(sim::internal::AddHandle(reader));
  write_end->Reset(sim::internal::AddHandle(writer));
  return kErrorSuccess;
}

Win32Error SetHandleInformation(RawHandle handle, std::uint32_t mask, std::uint32_t flags) {
  std::shared_ptr<FileObject> file = FileOf(handle);
  if (!file) return kErrorInvalidHandle;
  if (mask & kHandleFlagInherit) file->inheritable = (flags & kHandleFlagInherit) != 0;
  return kErrorSuccess;
}

Win32Error PeekNamedPipe(RawHandle handle, std::uint32_t* bytes_available) {
  std::shared_ptr<FileObject> file = FileOf(handle);
  if (!file || !file->pipe) return kErrorInvalidHandle;
  int waiting = 0;
  if (ioctl(file->fd, FIONREAD, &waiting) != 0) return sim::internal::ErrorFromErrno(errno);
  if (waiting == 0) {
    pollfd check{file->fd, POLLIN, 0};
    if (poll(&check, 1, 0) == 1 && (check.revents & POLLHUP)) return kErrorBrokenPipe;
  }
  *bytes_available = static_cast<std::uint32_t>(waiting);
  return kErrorSuccess;
}

Win32Error GetTempFileNameW(const Path& directory, const std::wstring& prefix, Path* file_name) {
  Path folder = directory;
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  std::wstring start = prefix.substr(0, 3);
  std::uint32_t unique = static_cast<std::uint32_t>(GetTickCount64() ^ GetCurrentProcessId());
  for (std::uint32_t attempt = 0; attempt < 0xFFFF; ++attempt) {
    std::uint32_t number = (unique + attempt) % 0xFFFF + 1;
    wchar_t digits[8];
    std::swprintf(digits, 8, L"%X", number);
    Path candidate = folder + start + digits + L".TMP";
    UniqueHandle file;
    Win32Error error =
        CreateFileW(candidate, kGenericWrite, 0, kCreateNew, kAttributeNormal, &file);
    if (error == kErrorFileExists || error == kErrorAlreadyExists) continue;
    if (error != kErrorSuccess) return error;
    *file_name = candidate;
    return kErrorSuccess;
  }
  return kErrorFileExists;
}

// The simulated machine's console code page is UTF-8 (65001), which the host programs write.
Win32Error OemToWide(const std::string& bytes, std::wstring* text) {
  *text = sim::internal::FromUtf8(bytes);
  return kErrorSuccess;
}

Win32Error ListProcesses(std::vector<ProcessEntry>* entries) {
  entries->clear();
  entries->push_back({GetCurrentProcessId(), sim::internal::OwnExecutableName()});
  for (const auto& record : sim::internal::ProcessTable()) {
    if (record.process_id == GetCurrentProcessId() || !sim::internal::IsRunning(record)) continue;
    std::size_t separator = record.image_path.find_last_of(L"\\/");
    entries->push_back({record.process_id, separator == std::wstring::npos
                                                ? record.image_path
                                                : record.image_path.substr(separator + 1)});
  }
  for (const auto& unopenable : sim::internal::UnopenableProcesses()) {
    entries->push_back({unopenable.process_id, unopenable.exe_file});
  }
  return kErrorSuccess;
}

Win32Error OpenProcess(std::uint32_t access, std::uint32_t process_id, UniqueHandle* process) {
  (void)access;
  for (const auto& unopenable : sim::internal::UnopenableProcesses()) {
    if (unopenable.process_id == process_id) return kErrorAccessDenied;
  }
  for (const auto& record : sim::internal::ProcessTable()) {
    if (record.process_id != process_id || !sim::internal::IsRunning(record)) continue;
    auto object = std::make_shared<ProcessObject>();
    object->pid = static_cast<pid_t>(process_id);
    object->image_path = record.image_path;
    process->Reset(sim::internal::AddHandle(object));
    return kErrorSuccess;
  }
  return kErrorInvalidParameter;
}

Win32Error QueryFullProcessImageNameW(RawHandle handle, Path* image_path) {
  std::shared_ptr<ProcessObject> process = ProcessOf(handle);
  if (!process) return kErrorInvalidHandle;
  if (process->image_path.empty()) return kErrorAccessDenied;
  *image_path = process->image_path;
  return kErrorSuccess;
}

}  // namespace platform
