#include "platform/sim/system_tools.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/sim/machine.h"
#include "platform/sim/shared_store.h"
#include "platform/sim/sim_control.h"
#include "platform/sim/text.h"

namespace sim::internal {
namespace {

std::string ControlPath() { return Root() + "/system-tools.txt"; }

std::string Key(const std::wstring& file_name) { return ToUtf8(Folded(file_name)); }

std::string RunsPath() { return Root() + "/system-tool-runs.txt"; }

// Texts with blanks and line breaks, kept on one line of a control file.
std::string HexOf(const std::string& text) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex = text.empty() ? "-" : "";
  for (unsigned char c : text) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

std::string TextOfHex(const std::string& hex) {
  std::string text;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return text;
}

// Every line of the control file but the one for key.
std::string LinesWithout(const std::string& key) {
  std::ifstream in(ControlPath());
  std::string line;
  std::string kept;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == ';') continue;
    if (line.compare(0, key.size() + 1, key + " ") == 0) continue;
    kept += line + "\n";
  }
  return kept;
}

}  // namespace

bool IsSimulatedSystemTool(const std::wstring& file_name) {
  return EqualsIgnoringCase(file_name, L"icacls.exe") ||
         EqualsIgnoringCase(file_name, L"dism.exe") ||
         EqualsIgnoringCase(file_name, L"bcdedit.exe");
}

bool RunsWithoutItsFile(const std::wstring& file_name) {
  return EqualsIgnoringCase(file_name, L"icacls.exe");
}

bool WriteSystemFolderFiles(const std::string& system32) {
  // Placeholders: the helper does the tools' work, and nothing loads the library.
  for (const char* name : {"dism.exe", "bcdedit.exe", "WinHvPlatform.dll"}) {
    std::ofstream out(system32 + "/" + name, std::ios::binary);
    out << "MZ simulated " << name << "\n";
    if (!out) return false;
  }
  return true;
}

void RecordSystemToolRun(const std::wstring& tool, const std::wstring& command_line,
                         std::uint32_t exit_code) {
  MachineLock machine(Root());
  std::ofstream out(RunsPath(), std::ios::app | std::ios::binary);
  out << HexOf(ToUtf8(tool)) << " " << exit_code << " " << HexOf(ToUtf8(command_line)) << "\n";
}

std::string SystemToolHelper() {
#ifdef VELLMORA_SIM_SYSTEM_TOOL
  return VELLMORA_SIM_SYSTEM_TOOL;
#else
  return {};
#endif
}

ToolFailure ToolFailureOf(const std::wstring& file_name) {
  std::string key = Key(file_name);
  std::ifstream in(ControlPath());
  std::string line;
  ToolFailure failure;
  while (std::getline(in, line)) {
    char name[256] = {};
    std::uint32_t start_error = 0;
    std::uint32_t exit_code = 0;
    int does_nothing = 0;
    int consumed = 0;
    if (std::sscanf(line.c_str(), "%255s %" SCNu32 " %" SCNu32 " %d%n", name, &start_error,
                    &exit_code, &does_nothing, &consumed) != 4) {
      continue;
    }
    if (key == name) {
      failure = {start_error, exit_code, does_nothing != 0,
                 TextOfHex(Trim(line.substr(static_cast<std::size_t>(consumed))))};
    }
  }
  return failure;
}

}  // namespace sim::internal

namespace sim {

void SetSystemToolFailure(const std::wstring& file_name, const SystemToolFailure& failure) {
  std::string key = internal::Key(file_name);
  internal::MachineLock machine(internal::Root());
  std::string text = "; tool start-error exit-code does-nothing\n" + internal::LinesWithout(key);
  if (failure.start_error != 0 || failure.exit_code != 0 || failure.does_nothing) {
    text += key + " " + std::to_string(failure.start_error) + " " +
            std::to_string(failure.exit_code) + (failure.does_nothing ? " 1 " : " 0 ") +
            internal::HexOf(failure.output) + "\n";
  }
  internal::WriteFileAtomically(internal::ControlPath(), text);
}

std::vector<SystemToolRun> SystemToolRuns() {
  std::ifstream in(internal::RunsPath());
  std::vector<SystemToolRun> runs;
  std::string tool, command_line;
  std::uint32_t exit_code = 0;
  while (in >> tool >> exit_code >> command_line) {
    runs.push_back({internal::FromUtf8(internal::TextOfHex(tool)),
                    internal::FromUtf8(internal::TextOfHex(command_line)), exit_code});
  }
  return runs;
}

}  // namespace sim
