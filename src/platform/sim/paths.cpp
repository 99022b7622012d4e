#include "platform/paths.h"

#include <unistd.h>

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

Path GetTempPathW() {
  // The order Windows looks in.
  for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE", L"SystemRoot"}) {
    std::wstring value;
    if (GetEnvironmentVariableW(name, &value) != kErrorSuccess || value.empty()) continue;
    Path full;
    if (GetFullPathNameW(value, &full) != kErrorSuccess) continue;
    if (full.back() != L'\\') full += L'\\';
    return full;
  }
  return Path();
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
