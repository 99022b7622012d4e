#pragma once
// The command line picks one of six run modes; the first row of the table that matches decides.

#include <string>

namespace vellmora {

enum class RunMode {
  kInstallAll,
  kDebugRegistry,
  kDebugCom,
  kDebugPie64,
  kMigrateDirectPlayer,
  kWizard,
};

struct RunRequest {
  RunMode mode = RunMode::kWizard;
  std::string argument;  // the option's argument, unquoted, one byte per UTF-16 unit
};

// Trims the line, matches the option prefixes case-insensitively (no separator needed after
// them: "--install-allD:" names D:) and extracts the argument.
RunRequest ParseCommandLine(const std::wstring& command_line);

// Runs the request to completion and returns the process exit code.
int RunRequestedMode(const RunRequest& request);

}  // namespace vellmora
