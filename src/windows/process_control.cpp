#include "windows/process_control.h"

#include "app/installer_engine.h"
#include "app/not_built.h"
#include "app/path_helpers.h"
#include "app/registry_access.h"
#include "app/system_helpers.h"
#include "app/text.h"
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
  (void)engine;
  (void)force;
  LogNotBuiltOnce("Stopping the product's processes",
                  "running product processes are not ended before files are moved");
}

}  // namespace vellmora
