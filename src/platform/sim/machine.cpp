#include "platform/sim/machine.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

#include "platform/sim/path_mapping.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/shared_store.h"
#include "platform/sim/system_tools.h"
#include "platform/sim/text.h"

namespace sim {
namespace internal {
namespace {

constexpr char kMachineVariable[] = "VELLMORA_SIM_MACHINE";

struct MachineState {
  std::mutex lock;
  bool chosen = false;
  std::string root;
  std::uint64_t epoch = 0;
  SharedStore ini;
  std::shared_ptr<const MachineConfig> config;
};

MachineState& State() {
  static MachineState* state = new MachineState;  // the seam may be used by static destructors
  return *state;
}

void Choose(MachineState& state, const std::string& root) {
  state.chosen = true;
  state.root = root;
  ++state.epoch;
  state.ini = SharedStore(root + "/machine.ini");
  state.config.reset();
}

void EnsureChosen(MachineState& state) {
  if (state.chosen) return;
  const char* root = std::getenv(kMachineVariable);
  if (!root || !*root) {
    Fatal(std::string("no simulated machine: set ") + kMachineVariable +
          " to a machine root (made by sim-machine create) or call sim::UseMachine");
  }
  Choose(state, root);
}

// Re-reads machine.ini when it changed; the caller holds state.lock.
void RefreshConfig(MachineState& state) {
  std::string body;
  if (!state.ini.ReadIfChanged(&body) && state.config) return;
  if (access(state.ini.path().c_str(), F_OK) != 0) {
    Fatal(state.root + " is not a simulated machine (no machine.ini); " + kMachineVariable +
          " or sim::UseMachine must name one made by sim-machine create");
  }
  auto config = std::make_shared<MachineConfig>();
  std::string error;
  if (!ParseMachineIni(body, config.get(), &error)) Fatal(state.ini.path() + ": " + error);
  state.config = std::move(config);
}

bool ValidOptions(const MachineOptions& options, std::string* why) {
  std::set<char> letters;
  for (const DriveOptions& drive : options.drives) {
    if (drive.letter < 'A' || drive.letter > 'Z') {
      *why = "drive letters are A to Z";
      return false;
    }
    if (!letters.insert(drive.letter).second) {
      *why = std::string("drive ") + drive.letter + ": appears twice";
      return false;
    }
    if (drive.type != "fixed" && drive.type != "removable" && drive.type != "network" &&
        drive.type != "cdrom" && drive.type != "ramdisk") {
      *why = "unknown drive type " + drive.type;
      return false;
    }
  }
  if (!letters.count('C')) {
    *why = "a machine needs a C: drive";
    return false;
  }
  if (options.user.empty() || options.user.find_first_of("\\/:*?\"<>|") != std::string::npos) {
    *why = "the user name must be usable as a folder name";
    return false;
  }
  return true;
}

bool Refuse(const std::string& root, const std::string& why) {
  std::fprintf(stderr, "vellmora sim: cannot create a machine at %s: %s\n", root.c_str(),
               why.c_str());
  return false;
}

}  // namespace

void Fatal(const std::string& message) {
  std::fprintf(stderr, "vellmora sim: %s\n", message.c_str());
  std::fflush(stderr);
  std::abort();
}

std::string Root() {
  MachineState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  EnsureChosen(state);
  return state.root;
}

std::uint64_t MachineEpoch() {
  MachineState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  EnsureChosen(state);
  return state.epoch;
}

std::shared_ptr<const MachineConfig> Config() {
  MachineState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  EnsureChosen(state);
  RefreshConfig(state);
  return state.config;
}

void ChangeConfig(const std::function<void(MachineConfig*)>& change) {
  MachineLock machine(Root());
  MachineState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  RefreshConfig(state);
  auto config = std::make_shared<MachineConfig>(*state.config);
  change(config.get());
  if (!state.ini.Write(FormatMachineIni(*config))) Fatal("cannot write " + state.ini.path());
  state.config = std::move(config);
}

}  // namespace internal

bool CreateMachine(const std::string& root, const MachineOptions& options) {
  namespace fs = std::filesystem;
  std::string why;
  if (root.empty()) return internal::Refuse(root, "no folder given");
  if (!internal::ValidOptions(options, &why)) return internal::Refuse(root, why);
  std::error_code error;
  if (fs::exists(root, error) && !fs::is_empty(root, error) &&
      !fs::exists(fs::path(root) / "machine.ini", error)) {
    return internal::Refuse(root, "the folder is not empty and holds no machine.ini");
  }
  fs::remove_all(root, error);
  if (error) return internal::Refuse(root, error.message());

  internal::MachineConfig config = internal::DefaultConfig(options);
  std::string user = options.user;
  std::vector<std::string> folders = {
      "mutexes",
      "drives/C/Windows/System32",
      "drives/C/Windows/SysWOW64",
      "drives/C/Windows/Temp",
      "drives/C/Program Files/Common Files",
      "drives/C/Program Files (x86)/Common Files",
      "drives/C/ProgramData/Microsoft/Windows/Start Menu/Programs",
      "drives/C/Users/Public/Desktop",
      "drives/C/Users/" + user + "/AppData/Local/Temp",
      "drives/C/Users/" + user + "/AppData/LocalLow",
      "drives/C/Users/" + user + "/AppData/Roaming/Microsoft/Windows/Start Menu/Programs",
      "drives/C/Users/" + user + "/Desktop",
      "drives/C/Users/" + user + "/Documents",
      "drives/C/Users/" + user + "/Downloads",
  };
  for (const DriveOptions& drive : options.drives) {
    folders.push_back("drives/" + std::string(1, drive.letter));
  }
  for (const std::string& folder : folders) {
    fs::create_directories(fs::path(root) / folder, error);
    if (error) return internal::Refuse(root, folder + ": " + error.message());
  }
  if (!internal::WriteSystemFolderFiles(root + "/drives/C/Windows/System32")) {
    return internal::Refuse(root, "cannot write the system folder's files");
  }
  internal::SharedStore ini(root + "/machine.ini");
  internal::SharedStore registry(root + "/registry.txt");
  if (!ini.Write(internal::FormatMachineIni(config)) ||
      !registry.Write(internal::FormatRegistry(internal::InitialRegistry()))) {
    return internal::Refuse(root, "cannot write its files");
  }
  return true;
}

void UseMachine(const std::string& root) {
  internal::MachineState& state = internal::State();
  std::lock_guard<std::mutex> guard(state.lock);
  internal::Choose(state, root);
  setenv(internal::kMachineVariable, root.c_str(), 1);
}

std::string MachineRoot() { return internal::Root(); }

std::string HostPathOf(const std::wstring& windows_path) {
  internal::MappedPath mapped;
  if (internal::MapPath(windows_path, &mapped) != platform::kErrorSuccess) return std::string();
  return mapped.host;
}

std::wstring WindowsPathOf(const std::string& host_path) {
  return internal::WindowsPathOfHost(host_path);
}

void SetElevated(bool elevated) {
  internal::ChangeConfig([&](internal::MachineConfig* config) { config->elevated = elevated; });
}

void SetFreeBytes(char drive_letter, std::uint64_t free_bytes) {
  internal::ChangeConfig([&](internal::MachineConfig* config) {
    for (DriveOptions& drive : config->drives) {
      if (drive.letter == drive_letter) drive.free_bytes = free_bytes;
    }
  });
}

void SetUserLocale(const std::string& name) {
  internal::ChangeConfig([&](internal::MachineConfig* config) { config->locale = name; });
}

void SetTcpListeners(const std::vector<std::uint16_t>& ports) {
  internal::ChangeConfig([&](internal::MachineConfig* config) { config->tcp_listeners = ports; });
}

void SetKnownFolder(platform::KnownFolder folder, const std::wstring& path) {
  internal::ChangeConfig([&](internal::MachineConfig* config) {
    std::string name = internal::KnownFolderName(folder);
    for (auto& [listed, listed_path] : config->known_folders) {
      if (listed == name) {
        listed_path = path;
        return;
      }
    }
    config->known_folders.emplace_back(name, path);
  });
}

void SetMachineEnvironmentVariable(const std::wstring& name, const std::wstring* value) {
  internal::ChangeConfig([&](internal::MachineConfig* config) {
    auto& environment = config->environment;
    for (auto it = environment.begin(); it != environment.end(); ++it) {
      if (internal::EqualsIgnoringCase(it->first, name)) {
        environment.erase(it);
        break;
      }
    }
    if (value) environment.emplace_back(name, *value);
  });
}

}  // namespace sim
