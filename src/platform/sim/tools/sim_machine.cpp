// sim-machine: makes and inspects simulated Windows machines for scripts.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/sim_control.h"
#include "platform/sim/text.h"

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  sim-machine create ROOT [--drive L:TYPE:FREEBYTES]... [--user NAME] [--not-elevated]\n"
    "                          [--listener PORT]...\n"
    "      a fresh machine (any --drive replaces the default C: D: fixed, E: removable,\n"
    "      Z: network; TYPE is fixed, removable, network, cdrom or ramdisk; FREEBYTES may end\n"
    "      in K, M, G or T)\n"
    "  sim-machine host-path ROOT WINDOWS-PATH      the host path behind a Windows path\n"
    "  sim-machine windows-path ROOT HOST-PATH      the Windows path of a host path\n"
    "  sim-machine set-elevated ROOT yes|no\n"
    "  sim-machine set-free-bytes ROOT LETTER FREEBYTES\n"
    "  sim-machine add-fault ROOT KIND NTH ERROR PATTERN\n"
    "      a fault for processes started later (kinds: see sim_control.h)\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

bool ParseBytes(const std::string& text, std::uint64_t* bytes) {
  char* end = nullptr;
  unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (end == text.c_str()) return false;
  std::string suffix = end;
  int shift = suffix.empty() ? 0 : suffix == "K" ? 10 : suffix == "M" ? 20 : suffix == "G" ? 30
                                 : suffix == "T" ? 40 : -1;
  if (shift < 0) return false;
  *bytes = static_cast<std::uint64_t>(value) << shift;
  return true;
}

bool ParseDrive(const std::string& text, sim::DriveOptions* drive) {
  size_t first = text.find(':');
  size_t second = first == std::string::npos ? first : text.find(':', first + 1);
  if (first != 1 || second == std::string::npos) return false;
  drive->letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  drive->type = text.substr(2, second - 2);
  return ParseBytes(text.substr(second + 1), &drive->free_bytes);
}

int Create(const std::vector<std::string>& args) {
  sim::MachineOptions options;
  std::vector<sim::DriveOptions> drives;
  std::vector<std::uint16_t> listeners;
  bool listeners_given = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool has_value = i + 1 < args.size();
    if (arg == "--drive" && has_value) {
      sim::DriveOptions drive;
      if (!ParseDrive(args[++i], &drive)) {
        std::fprintf(stderr, "sim-machine: bad --drive %s (expected L:TYPE:FREEBYTES)\n",
                     args[i].c_str());
        return 2;
      }
      drives.push_back(drive);
    } else if (arg == "--user" && has_value) {
      options.user = args[++i];
    } else if (arg == "--not-elevated") {
      options.elevated = false;
    } else if (arg == "--listener" && has_value) {
      listeners_given = true;
      listeners.push_back(static_cast<std::uint16_t>(std::strtoul(args[++i].c_str(), nullptr, 10)));
    } else {
      return Usage();
    }
  }
  if (!drives.empty()) options.drives = drives;
  if (listeners_given) options.tcp_listeners = listeners;
  return sim::CreateMachine(args[0], options) ? 0 : 1;
}

int Run(const std::string& command, const std::vector<std::string>& args) {
  if (command == "create" && !args.empty()) return Create(args);
  if (args.empty()) return Usage();
  sim::UseMachine(args[0]);
  if (command == "host-path" && args.size() == 2) {
    std::string host = sim::HostPathOf(sim::internal::FromUtf8(args[1]));
    if (host.empty()) {
      std::fprintf(stderr, "sim-machine: %s is not on a drive of the machine\n", args[1].c_str());
      return 1;
    }
    std::printf("%s\n", host.c_str());
    return 0;
  }
  if (command == "windows-path" && args.size() == 2) {
    std::wstring windows = sim::WindowsPathOf(args[1]);
    if (windows.empty()) {
      std::fprintf(stderr, "sim-machine: %s is not inside a drive folder\n", args[1].c_str());
      return 1;
    }
    std::printf("%s\n", sim::internal::ToUtf8(windows).c_str());
    return 0;
  }
  if (command == "set-elevated" && args.size() == 2 && (args[1] == "yes" || args[1] == "no")) {
    sim::SetElevated(args[1] == "yes");
    return 0;
  }
  std::uint64_t bytes = 0;
  if (command == "set-free-bytes" && args.size() == 3 && args[1].size() == 1 &&
      ParseBytes(args[2], &bytes)) {
    sim::SetFreeBytes(static_cast<char>(std::toupper(static_cast<unsigned char>(args[1][0]))),
                      bytes);
    return 0;
  }
  if (command == "add-fault" && args.size() == 5) {
    sim::Fault fault;
    fault.kind = args[1];
    fault.nth = std::atoi(args[2].c_str());
    fault.error = static_cast<std::uint32_t>(std::strtoul(args[3].c_str(), nullptr, 0));
    fault.path_pattern = sim::internal::FromUtf8(args[4]);
    if (fault.nth < 1) return Usage();
    sim::AddMachineFault(fault);
    return 0;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::vector<std::string> args(argv + 2, argv + argc);
  return Run(argv[1], args);
}
