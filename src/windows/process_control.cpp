#include "windows/process_control.h"

#include <algorithm>

#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/registry_access.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "platform/system.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The text after the last separator; empty when the path ends in one.
std::wstring FinalComponent(const Path& path) {
  std::size_t separator = path.find_last_of(L"\\/");
  return separator == Path::npos ? path : path.substr(separator + 1);
}

// A registered directory as the stop list accepts it: trailing "Engine" components dropped,
// absolute, named "Vellmora". Empty when it is not acceptable.
Path AcceptableProductDirectory(Path path) {
  while (EqualsIgnoringCase(FinalComponent(path), L"Engine")) {
    std::size_t separator = path.find_last_of(L"\\/");
    if (separator == Path::npos) return {};
    while (separator > 0 && IsSeparator(path[separator - 1])) --separator;
    path.resize(separator);
  }
  if (!IsAbsolutePath(path)) return {};
  if (!EqualsIgnoringCase(FinalComponent(path), L"Vellmora")) return {};
  return path;
}

constexpr const wchar_t* kLauncherExe = L"Vellmora-Launcher.exe";
constexpr std::uint32_t kTerminateWaitMs = 5000;
constexpr std::uint32_t kPollMs = 500;
constexpr std::uint32_t kNoTimeout = 0xFFFFFFFF;

bool Listed(const ProcessNames& names, const std::wstring& exe_file) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::wstring& name) { return EqualsIgnoringCase(name, exe_file); });
}

// One scan over a snapshot: whether a listed process runs from inside directory, and whether a
// listed one could not be inspected. False when no snapshot could be taken.
struct Scan {
  bool taken = false;
  bool inside = false;
  bool uninspectable = false;
};

Scan ScanProcesses(const Path& directory, const ProcessNames& names, std::uint32_t excluded_pid) {
  Scan scan;
  std::vector<platform::ProcessEntry> entries;
  if (platform::ListProcesses(&entries) != platform::kErrorSuccess || entries.empty()) return scan;
  scan.taken = true;
  for (const auto& entry : entries) {
    if (entry.process_id == excluded_pid || !Listed(names, entry.exe_file)) continue;
    platform::UniqueHandle process;
    Path image;
    if (platform::OpenProcess(platform::kProcessQueryLimitedInformation, entry.process_id,
                              &process) != platform::kErrorSuccess ||
        platform::QueryFullProcessImageNameW(process.Get(), &image) != platform::kErrorSuccess) {
      scan.uninspectable = true;
      continue;
    }
    if (IsPathInside(image, directory)) {
      scan.inside = true;
      return scan;
    }
  }
  return scan;
}

void AddUnique(StopDirectoryList* list, const Path& directory) {
  const std::wstring key = PathKey(directory);
  for (const Path& known : list->directories) {
    if (PathKey(known) == key) return;
  }
  list->directories.push_back(directory);
}

}  // namespace

const ProcessNames& ProductProcessNames() {
  static const ProcessNames names = {L"Vellmora.exe", L"DO-Rarari.exe",
                                     L"RV-MultiInstanceManager.exe", L"KolvVMMgr.exe"};
  return names;
}

const ProcessNames& ForeignPlayerNames() {
  static const ProcessNames names = {L"DO-Rarari.exe", L"RV-MultiInstanceManager.exe",
                                     L"KolvVMMgr.exe"};
  return names;
}

const ProcessNames& InstanceProcessNames() {
  static const ProcessNames names = [] {
    ProcessNames list = ProductProcessNames();
    list.insert(list.end(), {L"KolvSVC.exe", L"VLMServ.exe"});
    return list;
  }();
  return names;
}

const ProcessNames& LauncherMigrationNames() {
  static const ProcessNames names = [] {
    ProcessNames list = InstanceProcessNames();
    list.push_back(L"Vellmora-Launcher.exe");
    return list;
  }();
  return names;
}

const ProcessNames& SharedComOwnerNames() {
  static const ProcessNames names = {L"DO-Rarari.exe", L"KolvSVC.exe",
                                     L"RV-MultiInstanceManager.exe", L"KolvVMMgr.exe"};
  return names;
}

const ProcessNames& LauncherName() {
  static const ProcessNames names = {L"Vellmora-Launcher.exe"};
  return names;
}

Path CompatibilityRuntimeDir(const Path& data_dir) { return RuntimeDirOf(data_dir); }

bool AnyNamedProcessUnder(const Path& directory, const ProcessNames& names,
                          std::uint32_t excluded_pid) {
  Scan scan = ScanProcesses(directory, names, excluded_pid);
  return !scan.taken || scan.inside || scan.uninspectable;
}

bool NamedProcessRunningInProduct(const Path& install_dir, const Path& data_dir,
                                  const ProcessNames& names, std::uint32_t excluded_pid) {
  return AnyNamedProcessUnder(install_dir, names, excluded_pid) ||
         AnyNamedProcessUnder(CompatibilityRuntimeDir(data_dir), names, excluded_pid);
}

bool WaitForNamedProcessesToExit(const Path& directory, const ProcessNames& names,
                                 std::uint32_t timeout_ms, std::uint32_t excluded_pid) {
  const bool limited = timeout_ms != kNoTimeout;
  const std::uint64_t deadline = platform::GetTickCount64() + timeout_ms;
  for (;;) {
    Scan scan = ScanProcesses(directory, names, excluded_pid);
    if (scan.taken && !scan.inside && !scan.uninspectable) return true;
    if (limited && platform::GetTickCount64() >= deadline) return false;
    platform::Sleep(kPollMs);
  }
}

StopDirectoryList BuildStopDirectoryList(const InstallerEngine& engine) {
  StopDirectoryList list;
  const Path defaults[] = {engine.paths.InstallDir(),
                           CompatibilityRuntimeDir(engine.paths.DataDir())};
  for (const Path& directory : defaults) AddUnique(&list, directory);

  static constexpr RegistryRoot kRoots[] = {RegistryRoot::kLocalMachine,
                                            RegistryRoot::kCurrentUser};
  static constexpr struct {
    const wchar_t* key;
    const wchar_t* value;
  } kValues[] = {{kProductKey, L"InstallDir"},
                 {kProductKey, L"RuntimeDir"},
                 {kProductKey, L"DataDir"},
                 {L"SOFTWARE\\Pellucador_ovm5", L"InstallDir"},
                 {L"SOFTWARE\\Pellucador_ovm5", L"UserDefinedDir"},
                 {L"SOFTWARE\\Pellucador_ovm5", L"DataDir"}};
  for (RegistryRoot root : kRoots) {
    for (const auto& value : kValues) {
      std::wstring text;
      if (!ReadRegistryString(root, value.key, value.value, &text)) continue;
      const Path directory = AcceptableProductDirectory(text);
      if (directory.empty()) continue;
      const std::wstring key = PathKey(directory);
      if (key != PathKey(defaults[0]) && key != PathKey(defaults[1])) {
        list.foreign_directory = true;
      }
      AddUnique(&list, directory);
    }
  }
  return list;
}

void StopProcessesUnder(InstallerEngine& engine, bool force) {
  const StopDirectoryList list = BuildStopDirectoryList(engine);
  std::vector<platform::ProcessEntry> entries;
  if (platform::ListProcesses(&entries) != platform::kErrorSuccess) return;
  const std::uint32_t own = platform::GetCurrentProcessId();
  for (const auto& entry : entries) {
    if (entry.process_id == own) continue;
    platform::UniqueHandle process;
    if (platform::OpenProcess(platform::kProcessTerminate |
                                  platform::kProcessQueryLimitedInformation |
                                  platform::kSynchronize,
                              entry.process_id, &process) != platform::kErrorSuccess) {
      continue;
    }
    Path image;
    bool stop = false;
    if (platform::QueryFullProcessImageNameW(process.Get(), &image) == platform::kErrorSuccess) {
      const bool spared = !force && EqualsIgnoringCase(FinalComponent(image), kLauncherExe);
      stop = !spared && std::any_of(list.directories.begin(), list.directories.end(),
                                    [&](const Path& directory) {
                                      return IsPathInside(image, directory);
                                    });
    } else {
      stop = list.foreign_directory && EqualsIgnoringCase(entry.exe_file, L"VLMServ.exe");
    }
    if (stop) {
      platform::TerminateProcess(process.Get(), 0);
      platform::WaitForSingleObject(process.Get(), kTerminateWaitMs);
    }
  }
}

void StopNamedProcessesUnder(const Path& directory, const ProcessNames& names,
                             std::uint32_t excluded_pid) {
  std::vector<platform::ProcessEntry> entries;
  if (platform::ListProcesses(&entries) != platform::kErrorSuccess) return;
  const std::uint32_t own = platform::GetCurrentProcessId();
  for (const auto& entry : entries) {
    if (entry.process_id == own || entry.process_id == excluded_pid ||
        !Listed(names, entry.exe_file)) {
      continue;
    }
    platform::UniqueHandle process;
    Path image;
    if (platform::OpenProcess(platform::kProcessTerminate |
                                  platform::kProcessQueryLimitedInformation |
                                  platform::kSynchronize,
                              entry.process_id, &process) != platform::kErrorSuccess ||
        platform::QueryFullProcessImageNameW(process.Get(), &image) != platform::kErrorSuccess ||
        !IsPathInside(image, directory)) {
      continue;
    }
    platform::TerminateProcess(process.Get(), 0);
    platform::WaitForSingleObject(process.Get(), kTerminateWaitMs);
  }
}

}  // namespace vellmora
