#include "engine/hypervisor_platform_switch.h"

#include <cstdint>

#include "app/install_log.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "engine/engine_files.h"
#include "package/run_captured.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kDismTimeLimitMs = 900000;
constexpr std::uint32_t kBcdeditTimeLimitMs = 60000;
constexpr std::uint32_t kDismRestartRequired = 3010;
// The exit code of a tool that never ran, as RunCaptured reports it.
constexpr std::uint32_t kNotStartedExitCode = 31;
constexpr std::size_t kMaximumTranscriptOutput = 3000;

struct ToolRun {
  bool launched = false;
  std::uint32_t exit_code = kNotStartedExitCode;
  platform::Win32Error launch_error = platform::kErrorSuccess;
  std::string output;
};

// The tool by its full path in the system folder; a tool that is not there as a plain file is
// not run at all.
ToolRun RunSystemTool(InstallerEngine& engine, const wchar_t* tool, const wchar_t* arguments,
                      std::uint32_t time_limit_ms) {
  ToolRun run;
  const Path system = System32Dir();
  const Path path = system.empty() ? Path() : JoinPath(system, tool);
  if (path.empty() || !IsPlainFile(path)) return run;
  run.launched = RunCaptured(engine, QuoteArgument(path) + arguments, time_limit_ms,
                             &run.exit_code, &run.output, &run.launch_error);
  return run;
}

void WriteTranscript(const char* label, const ToolRun& run) {
  WriteDiagnostic(std::string(label) + ": launched=" + (run.launched ? "1" : "0") +
                  ", exit=" + std::to_string(run.exit_code) +
                  ", launchError=" + std::to_string(run.launch_error) +
                  ", output=" + FlattenToolOutput(run.output));
}

}  // namespace

std::string FlattenToolOutput(const std::string& output) {
  std::string flat;
  flat.reserve(output.size());
  for (char c : output) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    if (c == ' ' && !flat.empty() && flat.back() == ' ') continue;
    flat.push_back(c);
  }
  const std::size_t first = flat.find_first_not_of(" \f\v");
  if (first == std::string::npos) return {};
  flat = flat.substr(first, flat.find_last_not_of(" \f\v") - first + 1);
  if (flat.size() > kMaximumTranscriptOutput) {
    std::size_t end = kMaximumTranscriptOutput;
    while (end > 0 && (static_cast<unsigned char>(flat[end]) & 0xC0) == 0x80) --end;
    flat.resize(end);
  }
  return flat;
}

bool SwitchHypervisorPlatformOn(InstallerEngine& engine) {
  ReportStage(engine, "Configurando o WHPX", "Ativando a Plataforma de Hipervisor do Windows...");
  const ToolRun dism = RunSystemTool(
      engine, L"dism.exe",
      L" /Online /Enable-Feature /FeatureName:HypervisorPlatform /All /NoRestart /English",
      kDismTimeLimitMs);
  WriteTranscript("WHPX DISM", dism);
  if (!dism.launched || (dism.exit_code != 0 && dism.exit_code != kDismRestartRequired)) {
    ReportLog(engine, "Windows could not enable the HypervisorPlatform optional feature (exit " +
                          std::to_string(dism.exit_code) +
                          "). See Vellmora-Instalacao.txt for the DISM response.");
    return false;
  }
  const ToolRun bcdedit = RunSystemTool(engine, L"bcdedit.exe", L" /set hypervisorlaunchtype auto",
                                        kBcdeditTimeLimitMs);
  WriteTranscript("WHPX BCDEDIT", bcdedit);
  if (!bcdedit.launched || bcdedit.exit_code != 0) {
    ReportLog(engine, "Windows could not set hypervisorlaunchtype to auto (exit " +
                          std::to_string(bcdedit.exit_code) +
                          "). See Vellmora-Instalacao.txt for the BCDEdit response.");
    return false;
  }
  return true;
}

}  // namespace vellmora
