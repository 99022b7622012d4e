#pragma once
// The machine this process serves: its root folder, the settings of its machine.ini, and the
// epoch that tells the other parts of the sim when their in-process state belongs to an earlier
// machine (UseMachine starts a new epoch).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "platform/sim/sim_control.h"

namespace sim::internal {

struct MachineConfig {
  std::string user = "vellmora";
  bool elevated = true;
  // The user's default locale name; empty: the system gives none.
  std::string locale = "en-US";
  // The per-process current directory that relative paths resolve against: the one an elevated
  // process started through UAC gets.
  std::wstring current_directory = L"C:\\Windows\\System32";
  std::vector<DriveOptions> drives;
  // Windows names keep their case; look-ups ignore it.
  std::vector<std::pair<std::wstring, std::wstring>> environment;
  // Known folder name (ProgramData, LocalAppData, Profile, Desktop, Programs) and its path; an
  // empty path is a folder the machine does not define. Names not listed get their defaults.
  std::vector<std::pair<std::string, std::wstring>> known_folders;
  std::vector<std::uint16_t> tcp_listeners;
  std::vector<PortProxy> port_proxies;
  std::vector<Fault> faults;
  // What CPUID and IsProcessorFeaturePresent report ([processor] of machine.ini).
  ProcessorOptions processor;

  const DriveOptions* Drive(char letter) const;
};

// The configuration of a freshly created machine.
MachineConfig DefaultConfig(const MachineOptions& options);
std::string FormatMachineIni(const MachineConfig& config);
// False with a message naming the line when the text is not a machine.ini.
bool ParseMachineIni(const std::string& text, MachineConfig* config, std::string* error);
const char* KnownFolderName(platform::KnownFolder folder);
// The path the machine gives a known folder; empty when it defines none.
std::wstring KnownFolderPath(const MachineConfig& config, platform::KnownFolder folder);
// Windows names of the fault kinds the sim checks.
bool IsFaultKind(const std::string& kind);

// The root of the machine in use. The first call without UseMachine takes VELLMORA_SIM_MACHINE;
// without either the process cannot go on, and it says so on stderr and aborts.
std::string Root();
std::uint64_t MachineEpoch();
// The current machine.ini settings (re-read when another process changed them).
std::shared_ptr<const MachineConfig> Config();
// Read-modify-write of machine.ini under the machine lock.
void ChangeConfig(const std::function<void(MachineConfig*)>& change);

// Ends the process with a message: the sim cannot serve a machine it does not understand.
[[noreturn]] void Fatal(const std::string& message);

}  // namespace sim::internal
