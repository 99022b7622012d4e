#include "platform/paths.h"

#include <unistd.h>

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/sim/machine.h"
#include "platform/sim/path_mapping.h"
#include "platform/sim/text.h"

namespace platform {
namespace {

// The process's environment block: machine.ini's [environment] when the process first looks at
// the machine, then whatever the process changes.
struct EnvironmentState {
  std::mutex lock;
  std::uint64_t epoch = 0;
  std::vector<std::pair<std::wstring, std::wstring>> variables;
};

EnvironmentState& Environment() {
  static EnvironmentState* state = new EnvironmentState;
  return *state;
}

// The caller holds state.lock.
std::vector<std::pair<std::wstring, std::wstring>>& Variables(EnvironmentState& state) {
  std::uint64_t epoch = sim::internal::MachineEpoch();
  if (state.epoch != epoch) {
    state.epoch = epoch;
    state.variables = sim::internal::Config()->environment;
  }
  return state.variables;
}

// The last answer of GetTempPathW, kept where the allocation-free variant can read it without
// the lock: two slots, the newer one published by index.
struct TempPathSnapshot {
  wchar_t units[32768] = {};
  std::uint32_t length = 0;
};
TempPathSnapshot g_temp_paths[2];
std::atomic<unsigned> g_published_temp_path{0};
std::mutex g_temp_path_writer;

void PublishTempPath(const Path& path) {
  // Skipped rather than waited for: the crash filter may be the caller.
  std::unique_lock<std::mutex> guard(g_temp_path_writer, std::try_to_lock);
  if (!guard.owns_lock()) return;
  unsigned next = (g_published_temp_path.load() + 1) & 1;
  TempPathSnapshot& slot = g_temp_paths[next];
  slot.length = path.size() < 32768 ? static_cast<std::uint32_t>(path.size()) : 0;
  for (std::uint32_t i = 0; i < slot.length; ++i) slot.units[i] = path[i];
  slot.units[slot.length] = L'\0';
  g_published_temp_path = next;
}

bool DirectoryExists(const Path& path) {
  std::uint32_t attributes = GetFileAttributesW(path);
  return attributes != kInvalidFileAttributes && (attributes & kAttributeDirectory);
}

Win32Error CreateDirectories(const Path& path) {
  if (DirectoryExists(path)) return kErrorSuccess;
  size_t slash = path.find_last_of(L'\\');
  if (slash != Path::npos && slash > 2) {
    Win32Error error = CreateDirectories(path.substr(0, slash));
    if (error != kErrorSuccess) return error;
  }
  Win32Error error = CreateDirectoryW(path);
  return error == kErrorAlreadyExists && DirectoryExists(path) ? kErrorSuccess : error;
}

}  // namespace

Win32Error GetFullPathNameW(const Path& path, Path* full_path) {
  return sim::internal::FullPathName(path, sim::internal::Config()->current_directory, full_path);
}

// Every simulated machine is installed in the usual place; SystemRoot may say otherwise.
Path GetSystemDirectoryW() { return L"C:\\Windows\\System32"; }

Path GetTempPathW() {
  // The order Windows looks in.
  for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE", L"SystemRoot"}) {
    std::wstring value;
    if (GetEnvironmentVariableW(name, &value) != kErrorSuccess || value.empty()) continue;
    Path full;
    if (GetFullPathNameW(value, &full) != kErrorSuccess) continue;
    if (full.back() != L'\\') full += L'\\';
    PublishTempPath(full);
    return full;
  }
  PublishTempPath(Path());
  return Path();
}

std::uint32_t GetTempPathW(std::uint32_t buffer_units, wchar_t* buffer) {
  // A thread that crashed inside the environment lock must not stop the crash record: when the
  // lock is taken, the last published answer is used.
  EnvironmentState& state = Environment();
  if (state.lock.try_lock()) {
    state.lock.unlock();
    GetTempPathW();
  }
  const TempPathSnapshot& snapshot = g_temp_paths[g_published_temp_path.load() & 1];
  if (snapshot.length == 0) return 0;
  if (snapshot.length + 1 > buffer_units) return snapshot.length + 1;
  for (std::uint32_t i = 0; i <= snapshot.length; ++i) buffer[i] = snapshot.units[i];
  return snapshot.length;
}

// Every simulated machine is installed in the usual place.
Path GetWindowsDirectoryA() {
  (void)sim::internal::Config();
  return L"C:\\Windows";
}

Path GetModuleFileNameW() {
  char buffer[4096];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return Path();
  return sim::internal::WindowsPathOfHost(std::string(buffer, static_cast<size_t>(length)));
}

Win32Error SHGetKnownFolderPath(KnownFolder folder, bool create, Path* path) {
  Path known = sim::internal::KnownFolderPath(*sim::internal::Config(), folder);
  if (known.empty()) return kErrorFileNotFound;
  if (!DirectoryExists(known)) {
    if (!create) return kErrorFileNotFound;
    Win32Error error = CreateDirectories(known);
    if (error != kErrorSuccess) return error;
  }
  *path = known;
  return kErrorSuccess;
}

Win32Error GetEnvironmentVariableW(const std::wstring& name, std::wstring* value) {
  EnvironmentState& state = Environment();
  std::lock_guard<std::mutex> guard(state.lock);
  for (const auto& [listed, listed_value] : Variables(state)) {
    if (sim::internal::EqualsIgnoringCase(listed, name)) {
      *value = listed_value;
      return kErrorSuccess;
    }
  }
  return kErrorEnvvarNotFound;
}

Win32Error ExpandEnvironmentStringsW(const std::wstring& text, std::uint32_t buffer_units,
                                     std::wstring* expanded) {
  std::wstring result;
  std::size_t position = 0;
  while (position < text.size()) {
    std::size_t open = text.find(L'%', position);
    std::size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
    if (close == std::wstring::npos) {
      result += text.substr(position);
      break;
    }
    result += text.substr(position, open - position);
    std::wstring value;
    if (close > open + 1 &&
        GetEnvironmentVariableW(text.substr(open + 1, close - open - 1), &value) == kErrorSuccess) {
      result += value;
      position = close + 1;
    } else {
      // An undefined name stays; its closing % may open the next reference.
      result += text.substr(open, close - open);
      position = close;
    }
  }
  if (result.size() + 1 > buffer_units) return kErrorInsufficientBuffer;
  *expanded = std::move(result);
  return kErrorSuccess;
}

Win32Error SetEnvironmentVariableW(const std::wstring& name, const std::wstring* value) {
  if (name.empty() || name.find(L'=') != std::wstring::npos) return kErrorInvalidParameter;
  EnvironmentState& state = Environment();
  std::lock_guard<std::mutex> guard(state.lock);
  auto& variables = Variables(state);
  for (auto it = variables.begin(); it != variables.end(); ++it) {
    if (sim::internal::EqualsIgnoringCase(it->first, name)) {
      if (value) {
        it->second = *value;
      } else {
        variables.erase(it);
      }
      return kErrorSuccess;
    }
  }
  if (value) variables.emplace_back(name, *value);
  return kErrorSuccess;
}

}  // namespace platform
