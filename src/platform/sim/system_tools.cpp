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
         EqualsIgnoringCase(file_name, L"regsvr32.exe");
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
    if (std::sscanf(line.c_str(), "%255s %" SCNu32 " %" SCNu32 " %d", name, &start_error,
                    &exit_code, &does_nothing) != 4) {
      continue;
    }
    if (key == name) failure = {start_error, exit_code, does_nothing != 0};
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
            std::to_string(failure.exit_code) + (failure.does_nothing ? " 1\n" : " 0\n");
  }
  internal::WriteFileAtomically(internal::ControlPath(), text);
}

}  // namespace sim
