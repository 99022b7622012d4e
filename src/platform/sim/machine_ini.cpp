// machine.ini: the readable settings of a simulated machine, shared by every process on it.
//
//   [machine]        user, elevated (yes/no), current_directory
//                    logical_processors, physical_memory (bytes), primary_screen = <w>x<h>
//   [drives]         <letter> = <type> <free bytes>
//   [environment]    <name> = <value>
//   [known_folders]  <ProgramData|LocalAppData|Profile|Desktop|Programs> = <path, empty: none>
//   [network]        tcp_listeners = <port> <port> ...
//                    port_proxy = <listen address>:<port> <connect address>:<port> (any number)
//   [faults]         fault = <kind> <nth> <error> <pattern>
//   [processor]      hypervisor_present, firmware_virtualization (yes/no),
//                    hypervisor_vendor = <CPUID leaf 0x40000000 text, at most 12 bytes>

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "platform/sim/machine.h"
#include "platform/sim/text.h"

namespace sim::internal {
namespace {

const char* const kFaultKinds[] = {
    "create_file", "read",        "write",           "flush",           "copy",
    "move",        "replace",     "delete_file",     "create_directory", "remove_directory",
    "set_attributes", "get_attributes", "list_directory", "reg_create", "reg_open", "reg_set",
    "reg_query",   "reg_delete_value", "reg_delete_tree", "tcp_table", "adjust_privileges",
    "exit_windows", "shell_execute", "desktop_shell"};

bool ParseBool(const std::string& text, bool* value) {
  if (text == "yes" || text == "true" || text == "1") {
    *value = true;
    return true;
  }
  if (text == "no" || text == "false" || text == "0") {
    *value = false;
    return true;
  }
  return false;
}

bool ParseNumber(const std::string& text, unsigned long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtoull(text.c_str(), &end, 0);
  return end && *end == '\0';
}

bool ParseFault(const std::string& text, Fault* fault) {
  std::istringstream in(text);
  std::string nth, error;
  if (!(in >> fault->kind >> nth >> error) || !IsFaultKind(fault->kind)) return false;
  unsigned long long n = 0, code = 0;
  if (!ParseNumber(nth, &n) || n == 0 || !ParseNumber(error, &code)) return false;
  std::string pattern;
  std::getline(in, pattern);
  pattern = Trim(pattern);
  if (pattern.empty()) return false;
  fault->nth = static_cast<int>(n);
  fault->error = static_cast<std::uint32_t>(code);
  fault->path_pattern = FromUtf8(pattern);
  return true;
}

bool ParseHardwareSetting(const std::string& name, const std::string& value,
                          HardwareOptions* hardware) {
  unsigned long long number = 0;
  if (name == "logical_processors") {
    if (!ParseNumber(value, &number) || number == 0 || number > 0xFFFFFFFFull) return false;
    hardware->logical_processors = static_cast<std::uint32_t>(number);
    return true;
  }
  if (name == "physical_memory") {
    if (!ParseNumber(value, &number)) return false;
    hardware->physical_memory = number;
    return true;
  }
  const std::size_t x = value.find('x');
  unsigned long long width = 0, height = 0;
  if (x == std::string::npos || !ParseNumber(value.substr(0, x), &width) ||
      !ParseNumber(value.substr(x + 1), &height) || width > 1000000 || height > 1000000) {
    return false;
  }
  hardware->screen_width = static_cast<int>(width);
  hardware->screen_height = static_cast<int>(height);
  return true;
}

bool ParseProcessorSetting(const std::string& name, const std::string& value,
                           ProcessorOptions* processor) {
  if (name == "hypervisor_present") return ParseBool(value, &processor->hypervisor_present);
  if (name == "firmware_virtualization") {
    return ParseBool(value, &processor->firmware_virtualization);
  }
  if (name != "hypervisor_vendor" || value.size() > 12) return false;
  processor->hypervisor_vendor = value;
  return true;
}

bool IsDriveType(const std::string& type) {
  return type == "fixed" || type == "removable" || type == "network" || type == "cdrom" ||
         type == "ramdisk";
}

// "<address>:<port>", the port 1..65535.
bool ParseEndpoint(const std::string& text, std::string* address, std::uint16_t* port) {
  std::size_t colon = text.rfind(':');
  unsigned long long number = 0;
  if (colon == std::string::npos || colon == 0 || !ParseNumber(text.substr(colon + 1), &number) ||
      number == 0 || number > 65535) {
    return false;
  }
  *address = text.substr(0, colon);
  *port = static_cast<std::uint16_t>(number);
  return true;
}

bool ParsePortProxy(const std::string& value, PortProxy* rule) {
  std::istringstream fields(value);
  std::string listen, connect, extra;
  return static_cast<bool>(fields >> listen >> connect) && !(fields >> extra) &&
         ParseEndpoint(listen, &rule->listen_address, &rule->listen_port) &&
         ParseEndpoint(connect, &rule->connect_address, &rule->connect_port);
}

}  // namespace

const char* KnownFolderName(platform::KnownFolder folder) {
  switch (folder) {
    case platform::KnownFolder::kProgramData: return "ProgramData";
    case platform::KnownFolder::kLocalAppData: return "LocalAppData";
    case platform::KnownFolder::kProfile: return "Profile";
    case platform::KnownFolder::kDesktop: return "Desktop";
    case platform::KnownFolder::kPrograms: return "Programs";
  }
  return "";
}

std::wstring KnownFolderPath(const MachineConfig& config, platform::KnownFolder folder) {
  std::string name = KnownFolderName(folder);
  for (const auto& [listed, path] : config.known_folders) {
    if (listed == name) return path;
  }
  MachineOptions options;
  options.user = config.user;
  for (const auto& [listed, path] : DefaultConfig(options).known_folders) {
    if (listed == name) return path;
  }
  return std::wstring();
}

bool IsFaultKind(const std::string& kind) {
  for (const char* known : kFaultKinds) {
    if (kind == known) return true;
  }
  return false;
}

const DriveOptions* MachineConfig::Drive(char letter) const {
  for (const DriveOptions& drive : drives) {
    if (drive.letter == letter) return &drive;
  }
  return nullptr;
}

MachineConfig DefaultConfig(const MachineOptions& options) {
  MachineConfig config;
  config.user = options.user;
  config.elevated = options.elevated;
  config.drives = options.drives;
  config.tcp_listeners = options.tcp_listeners;
  std::wstring user = FromUtf8(options.user);
  std::wstring profile = L"C:\\Users\\" + user;
  std::wstring local = profile + L"\\AppData\\Local";
  std::wstring roaming = profile + L"\\AppData\\Roaming";
  config.environment = {
      {L"ALLUSERSPROFILE", L"C:\\ProgramData"},
      {L"APPDATA", roaming},
      {L"CommonProgramFiles", L"C:\\Program Files\\Common Files"},
      {L"CommonProgramFiles(x86)", L"C:\\Program Files (x86)\\Common Files"},
      {L"CommonProgramW6432", L"C:\\Program Files\\Common Files"},
      {L"COMPUTERNAME", L"VELLMORA-PC"},
      {L"ComSpec", L"C:\\Windows\\system32\\cmd.exe"},
      {L"HOMEDRIVE", L"C:"},
      {L"HOMEPATH", L"\\Users\\" + user},
      {L"LOCALAPPDATA", local},
      {L"NUMBER_OF_PROCESSORS", L"4"},
      {L"OS", L"Windows_NT"},
      {L"Path", L"C:\\Windows\\system32;C:\\Windows;C:\\Windows\\System32\\Wbem;"
                L"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\"},
      {L"PATHEXT", L".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
      {L"PROCESSOR_ARCHITECTURE", L"AMD64"},
      {L"ProgramData", L"C:\\ProgramData"},
      {L"ProgramFiles", L"C:\\Program Files"},
      {L"ProgramFiles(x86)", L"C:\\Program Files (x86)"},
      {L"ProgramW6432", L"C:\\Program Files"},
      {L"PUBLIC", L"C:\\Users\\Public"},
      {L"SystemDrive", L"C:"},
      {L"SystemRoot", L"C:\\Windows"},
      {L"TEMP", local + L"\\Temp"},
      {L"TMP", local + L"\\Temp"},
      {L"USERDOMAIN", L"VELLMORA-PC"},
      {L"USERNAME", user},
      {L"USERPROFILE", profile},
      {L"windir", L"C:\\Windows"},
  };
  config.known_folders = {
      {"ProgramData", L"C:\\ProgramData"},
      {"LocalAppData", local},
      {"Profile", profile},
      {"Desktop", profile + L"\\Desktop"},
      {"Programs", roaming + L"\\Microsoft\\Windows\\Start Menu\\Programs"},
  };
  return config;
}

std::string FormatMachineIni(const MachineConfig& config) {
  std::ostringstream out;
  out << "; A simulated Windows machine (src/platform/sim/sim_control.h). Processes re-read this\n"
         "; file when the stamp line above changes; edit it with sim-machine or rewrite the "
         "stamp.\n\n";
  out << "[machine]\nuser = " << config.user << "\nelevated = " << (config.elevated ? "yes" : "no")
      << "\nlocale = " << config.locale << "\ncurrent_directory = " << ToUtf8(config.current_directory) << "\n";
  out << "logical_processors = " << config.hardware.logical_processors
      << "\nphysical_memory = " << config.hardware.physical_memory
      << "\nprimary_screen = " << config.hardware.screen_width << "x"
      << config.hardware.screen_height << "\n\n";
  out << "[drives]\n; letter = type free-bytes (types: fixed removable network cdrom ramdisk)\n";
  for (const DriveOptions& drive : config.drives) {
    out << drive.letter << " = " << drive.type << " " << drive.free_bytes << "\n";
  }
  out << "\n[environment]\n";
  for (const auto& [name, value] : config.environment) {
    out << ToUtf8(name) << " = " << ToUtf8(value) << "\n";
  }
  out << "\n[known_folders]\n; an empty path: the machine has no such folder\n";
  for (const auto& [name, path] : config.known_folders) {
    out << name << " = " << ToUtf8(path) << "\n";
  }
  out << "\n[network]\ntcp_listeners =";
  for (std::uint16_t port : config.tcp_listeners) out << " " << port;
  for (const PortProxy& rule : config.port_proxies) {
    out << "\nport_proxy = " << rule.listen_address << ":" << rule.listen_port << " "
        << rule.connect_address << ":" << rule.connect_port;
  }
  out << "\n\n[processor]\nhypervisor_present = "
      << (config.processor.hypervisor_present ? "yes" : "no")
      << "\nhypervisor_vendor = " << config.processor.hypervisor_vendor
      << "\nfirmware_virtualization = "
      << (config.processor.firmware_virtualization ? "yes" : "no");
  out << "\n\n[faults]\n; fault = <kind> <nth> <win32 error> <path pattern>\n";
  for (const Fault& fault : config.faults) {
    out << "fault = " << fault.kind << " " << fault.nth << " " << fault.error << " "
        << ToUtf8(fault.path_pattern) << "\n";
  }
  return out.str();
}

bool ParseMachineIni(const std::string& text, MachineConfig* config, std::string* error) {
  MachineConfig parsed;
  std::istringstream in(text);
  std::string line, section;
  int number = 0;
  auto fail = [&](const std::string& why) {
    *error = "machine.ini line " + std::to_string(number) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') return fail("unterminated section name");
      section = line.substr(1, line.size() - 2);
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos) return fail("expected name = value");
    std::string name = Trim(line.substr(0, equals));
    std::string value = Trim(line.substr(equals + 1));
    if (section == "machine") {
      if (name == "user") {
        parsed.user = value;
      } else if (name == "elevated") {
        if (!ParseBool(value, &parsed.elevated)) return fail("elevated is yes or no");
      } else if (name == "locale") {
        parsed.locale = value;
      } else if (name == "current_directory") {
        parsed.current_directory = FromUtf8(value);
      } else if (name == "logical_processors" || name == "physical_memory" ||
                 name == "primary_screen") {
        if (!ParseHardwareSetting(name, value, &parsed.hardware)) {
          return fail("expected logical_processors = <count>, physical_memory = <bytes> or "
                      "primary_screen = <width>x<height>");
        }
      } else {
        return fail("unknown setting " + name);
      }
    } else if (section == "drives") {
      std::istringstream fields(value);
      DriveOptions drive;
      std::string free;
      unsigned long long bytes = 0;
      if (name.size() != 1 || !std::isalpha(static_cast<unsigned char>(name[0])) ||
          !(fields >> drive.type >> free) || !IsDriveType(drive.type) ||
          !ParseNumber(free, &bytes)) {
        return fail("expected <letter> = <type> <free bytes>");
      }
      drive.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
      drive.free_bytes = bytes;
      parsed.drives.push_back(drive);
    } else if (section == "environment") {
      parsed.environment.emplace_back(FromUtf8(name), FromUtf8(value));
    } else if (section == "known_folders") {
      parsed.known_folders.emplace_back(name, FromUtf8(value));
    } else if (section == "network" && name == "port_proxy") {
      PortProxy rule;
      if (!ParsePortProxy(value, &rule)) {
        return fail("expected port_proxy = <address>:<port> <address>:<port>");
      }
      parsed.port_proxies.push_back(rule);
    } else if (section == "network") {
      if (name != "tcp_listeners") return fail("unknown setting " + name);
      std::istringstream ports(value);
      std::string port;
      while (ports >> port) {
        unsigned long long number_value = 0;
        if (!ParseNumber(port, &number_value) || number_value > 65535) return fail("bad port");
        parsed.tcp_listeners.push_back(static_cast<std::uint16_t>(number_value));
      }
    } else if (section == "processor") {
      if (!ParseProcessorSetting(name, value, &parsed.processor)) {
        return fail("expected hypervisor_present, firmware_virtualization (yes or no) or "
                    "hypervisor_vendor (at most 12 bytes)");
      }
    } else if (section == "faults") {
      Fault fault;
      if (name != "fault" || !ParseFault(value, &fault)) {
        return fail("expected fault = <kind> <nth> <error> <pattern>");
      }
      parsed.faults.push_back(fault);
    } else {
      return fail("setting outside a known section");
    }
  }
  *config = std::move(parsed);
  return true;
}

}  // namespace sim::internal
