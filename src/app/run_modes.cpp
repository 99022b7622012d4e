#include "app/run_modes.h"

#include <thread>

#include "app/crash_log.h"
#include "app/entry.h"
#include "app/installer_engine.h"
#include "app/text.h"
#include "ui/installer_window.h"

namespace vellmora {
namespace {

struct PrefixRow {
  const wchar_t* option;
  RunMode mode;
};

constexpr PrefixRow kPrefixRows[] = {
    {L"--install-all", RunMode::kInstallAll},
    {L"--debug-registry", RunMode::kDebugRegistry},
    {L"--debug-com", RunMode::kDebugCom},
    {L"--debug-pie64", RunMode::kDebugPie64},
};

std::string ExtractArgument(const std::wstring& rest) {
  std::wstring argument = TrimLeadingWhitespace(rest);
  if (argument.size() >= 2 && argument.front() == L'"' && argument.back() == L'"') {
    argument = argument.substr(1, argument.size() - 2);
  }
  return NarrowToLowBytes(argument);
}

int RunWizard() {
  try {
    std::thread wizard([] { RunInstallerWindow(); });
    wizard.join();
  } catch (const std::system_error&) {
    // No wizard thread could be created: there is nothing to show and nothing was changed.
  }
  return 0;
}

}  // namespace

RunRequest ParseCommandLine(const std::wstring& command_line) {
  const std::wstring line = TrimWhitespace(command_line);
  for (const PrefixRow& row : kPrefixRows) {
    std::wstring option = row.option;
    if (StartsWithIgnoringAsciiCase(line, option)) {
      return {row.mode, ExtractArgument(line.substr(option.size()))};
    }
  }
  if (EqualsIgnoringAsciiCase(line, L"--migrate-direct-player")) {
    return {RunMode::kMigrateDirectPlayer, {}};
  }
  return {RunMode::kWizard, {}};
}

int RunRequestedMode(const RunRequest& request) {
  switch (request.mode) {
    case RunMode::kInstallAll: {
      InstallerEngine& engine = InstallerEngine::Instance();
      if (!request.argument.empty() && !engine.SelectDestination(request.argument)) return 15;
      return engine.InstallAllBlocking();
    }
    case RunMode::kDebugRegistry:
      return InstallerEngine::Instance().RunRegistryDiagnostic(request.argument);
    case RunMode::kDebugCom:
      return InstallerEngine::Instance().RunComDiagnostic(request.argument);
    case RunMode::kDebugPie64:
      return InstallerEngine::Instance().RunPie64Diagnostic(request.argument);
    case RunMode::kMigrateDirectPlayer:
      return InstallerEngine::Instance().MigrateDirectPlayer();
    case RunMode::kWizard:
      return RunWizard();
  }
  return 0;
}

int RunInstaller(const std::wstring& command_line) {
  InstallCrashHandlers();
  return RunRequestedMode(ParseCommandLine(command_line));
}

}  // namespace vellmora
