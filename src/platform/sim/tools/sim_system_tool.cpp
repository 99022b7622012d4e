// The system folder's tools on a simulated machine (see system_tools.h): started by the sim's
// CreateProcessW as "sim-system-tool <tool file name> <the tool's Windows command line>", on the
// machine named by VELLMORA_SIM_MACHINE. It prints what the tool prints and exits with its code.
// "sim-system-tool --standin <image> <command line>" runs a PE stand-in (standin_mode.h).

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/sim/command_line.h"
#include "platform/sim/icacls.h"
#include "platform/sim/process_table.h"
#include "platform/sim/system_tools.h"
#include "platform/sim/text.h"
#include "platform/sim/tools/standin_mode.h"
#include "platform/sim/virtualization_tools.h"

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--standin")
    return sim::internal::RunStandIn(sim::internal::FromUtf8(argv[2]),
                                     sim::internal::FromUtf8(argv[3]));
  if (argc != 3) {
    std::fprintf(stderr, "usage: sim-system-tool TOOL COMMAND-LINE\n");
    return 87;
  }
  std::wstring tool = sim::internal::FromUtf8(argv[1]);
  std::vector<std::wstring> arguments =
      sim::internal::SplitCommandLine(sim::internal::FromUtf8(argv[2]));
  if (!arguments.empty()) arguments.erase(arguments.begin());

  sim::internal::ToolFailure failure = sim::internal::ToolFailureOf(tool);
  std::string output;
  int exit_code = 0;
  if (failure.exit_code != 0) {
    output = "Access is denied.\r\nSuccessfully processed 0 files; Failed processing 1 files\r\n";
    if (!failure.output.empty() || !sim::internal::EqualsIgnoringCase(tool, L"icacls.exe")) {
      output = failure.output;
    }
    exit_code = static_cast<int>(failure.exit_code);
  } else if (failure.does_nothing) {
    output = failure.output;
    exit_code = 0;
  } else if (sim::internal::EqualsIgnoringCase(tool, L"icacls.exe")) {
    exit_code = sim::internal::RunIcacls(arguments, &output);
  } else if (sim::internal::EqualsIgnoringCase(tool, L"dism.exe")) {
    exit_code = sim::internal::RunDism(arguments, &output);
  } else if (sim::internal::EqualsIgnoringCase(tool, L"bcdedit.exe")) {
    exit_code = sim::internal::RunBcdedit(arguments, &output);
  } else {
    std::fprintf(stderr, "sim-system-tool: no tool %s\n", argv[1]);
    return 2;
  }
  sim::internal::RecordSystemToolRun(tool, sim::internal::FromUtf8(argv[2]),
                                     static_cast<std::uint32_t>(exit_code));
  std::fwrite(output.data(), 1, output.size(), stdout);
  std::fflush(stdout);
  sim::internal::ReportExitCode(static_cast<std::uint32_t>(exit_code));
  return exit_code & 0xFF;
}
