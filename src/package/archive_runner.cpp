#include "app/installer_engine.h"
#include "app/progress_report.h"
#include "app/text.h"
#include "package/archive_progress_parser.h"
#include "package/archive_run_limits.h"
#include "package/archive_tool.h"
#include "package/run_captured.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "platform/system.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kReadChunk = 4096;
constexpr std::uint32_t kTerminationWaitMs = 5000;
constexpr std::uint32_t kUnreadableExitCode = 1;
constexpr std::size_t kLoggedTailBytes = 2048;

std::string CompletedLine(const std::string& label) { return "[+] " + label + " completed."; }

std::string FailedLine(std::uint32_t exit_code) {
  return "Embedded archive tool failed with exit code " + std::to_string(exit_code) + ".";
}

std::string WindowsErrorLine(const char* what, platform::Win32Error error) {
  return std::string(what) + " (Windows error " + std::to_string(error) + ").";
}

// Reads what is waiting in the pipe (at most one chunk); false when nothing was read.
bool ReadWaiting(platform::RawHandle pipe, ArchiveProgressParser* parser) {
  std::uint32_t waiting = 0;
  if (platform::PeekNamedPipe(pipe, &waiting) != platform::kErrorSuccess || waiting == 0) {
    return false;
  }
  char chunk[kReadChunk];
  std::uint32_t got = 0;
  if (platform::ReadFile(pipe, chunk, waiting < kReadChunk ? waiting : kReadChunk, &got) !=
          platform::kErrorSuccess ||
      got == 0) {
    return false;
  }
  parser->Feed(chunk, got);
  return true;
}

// The run without a progress pipe, for callers that want no progress and after a pipe failure.
bool RunWithoutProgress(InstallerEngine& engine, const std::wstring& command_line,
                        bool report_completion, float progress_end, const std::string& label,
                        const char* not_run_line) {
  std::uint32_t exit_code = 0;
  std::string output;
  platform::Win32Error error = 0;
  bool ran = RunCaptured(engine, command_line + L" -bsp0 -bb0 -bd", kArchiveTimeLimitMs, &exit_code,
                         &output, &error);
  if (ran && exit_code == 0) {
    if (report_completion) {
      engine.SetProgress(progress_end);
      if (!label.empty()) ReportLog(engine, CompletedLine(label));
    }
    return true;
  }
  ReportLog(engine, ran ? FailedLine(exit_code) : WindowsErrorLine(not_run_line, error));
  LogArchiveOutputTail(engine, output);
  return false;
}

}  // namespace

void LogArchiveOutputTail(InstallerEngine& engine, const std::string& text) {
  std::string line = text;
  for (char& c : line) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  if (line.size() > kLoggedTailBytes) line.erase(0, line.size() - kLoggedTailBytes);
  if (!line.empty()) ReportLog(engine, "Archive tool output tail: " + line);
}

bool RunArchiveTool(InstallerEngine& engine, const std::wstring& tool, const std::wstring& command,
                    const std::wstring& archive, const std::wstring& destination,
                    float progress_start, float progress_end, const std::string& label) {
  return RunArchiveToolWithLimits(engine, tool, command, archive, destination, progress_start,
                                  progress_end, label, ArchiveRunLimits{});
}

bool RunArchiveToolWithLimits(InstallerEngine& engine, const std::wstring& tool,
                              const std::wstring& command, const std::wstring& archive,
                              const std::wstring& destination, float progress_start,
                              float progress_end, const std::string& label,
                              const ArchiveRunLimits& limits) {
  std::string announced = "Archive operation: " + ToUtf8(command) + " | archive=" + ToUtf8(archive);
  if (!destination.empty()) announced += " | destination=" + ToUtf8(destination);
  ReportLog(engine, announced + ".");

  std::wstring command_line = QuoteArgument(tool) + L" " + command + L" " + QuoteArgument(archive);
  if (!destination.empty()) command_line += L" -o" + QuoteArgument(destination) + L" -y -aoa";

  if (!(progress_start >= 0.0f && progress_start < progress_end)) {
    return RunWithoutProgress(engine, command_line, false, progress_end, label,
                              "Could not run the embedded archive tool");
  }

  platform::UniqueHandle read_end;
  platform::UniqueHandle write_end;
  if (platform::CreatePipe(true, &read_end, &write_end) != platform::kErrorSuccess ||
      platform::SetHandleInformation(read_end.Get(), platform::kHandleFlagInherit, 0) !=
          platform::kErrorSuccess) {
    read_end.Reset();
    write_end.Reset();
    ReportLog(engine, "Archive progress could not be captured; the operation is still running.");
    return RunWithoutProgress(engine, command_line, true, progress_end, label,
                              "Could not start the embedded archive tool");
  }

  // "-bd" would switch the percentages off altogether, leaving the pipe nothing to report.
  command_line += L" -bsp1 -bso0 -bse1 -bb0";
  platform::UniqueHandle null_input;
  if (platform::CreateFileW(L"NUL", platform::kGenericRead,
                            platform::kShareRead | platform::kShareWrite, platform::kOpenExisting,
                            0, &null_input) == platform::kErrorSuccess) {
    platform::SetHandleInformation(null_input.Get(), platform::kHandleFlagInherit,
                                   platform::kHandleFlagInherit);
  }
  platform::StartupInfo startup;
  startup.use_show_window = true;
  startup.show_window = platform::kSwHide;
  startup.use_std_handles = true;
  startup.std_input = null_input.Valid() ? null_input.Get() : platform::kNoHandle;
  startup.std_output = startup.std_error = write_end.Get();
  platform::ProcessInformation child;
  platform::Win32Error error =
      platform::CreateProcessW(command_line, true, platform::kCreateNoWindow, startup, &child);
  write_end.Reset();
  null_input.Reset();
  if (error != platform::kErrorSuccess) {
    ReportLog(engine, WindowsErrorLine("Could not start the embedded archive tool", error));
    return false;
  }

  ArchiveProgressParser parser(engine, progress_start, progress_end, label);
  const std::uint64_t started = platform::GetTickCount64();
  std::uint64_t last_heartbeat = started;
  bool timed_out = false;
  for (;;) {
    ReadWaiting(read_end.Get(), &parser);
    if (platform::WaitForSingleObject(child.process.Get(), limits.poll_ms) !=
        platform::kWaitTimeout) {
      break;
    }
    std::uint64_t now = platform::GetTickCount64();
    if (now - last_heartbeat >= limits.heartbeat_ms) {
      if (!label.empty()) ReportLog(engine, "[*] " + label + " is still running...");
      last_heartbeat = now;
    }
    if (now - started > limits.time_limit_ms) {
      platform::TerminateProcess(child.process.Get(), kTimedOutExitCode);
      platform::WaitForSingleObject(child.process.Get(), kTerminationWaitMs);
      timed_out = true;
      break;
    }
  }
  while (ReadWaiting(read_end.Get(), &parser)) {
  }
  std::uint32_t exit_code = kUnreadableExitCode;
  if (platform::GetExitCodeProcess(child.process.Get(), &exit_code) != platform::kErrorSuccess) {
    exit_code = kUnreadableExitCode;
  }
  child.thread.Reset();
  child.process.Reset();
  read_end.Reset();

  if (timed_out) {
    ReportLog(engine, "Archive operation timed out after one hour.");
    LogArchiveOutputTail(engine, parser.tail());
    return false;
  }
  if (exit_code == 0) {
    engine.SetProgress(progress_end);
    if (!label.empty()) ReportLog(engine, CompletedLine(label));
    return true;
  }
  ReportLog(engine, FailedLine(exit_code));
  LogArchiveOutputTail(engine, parser.tail());
  return false;
}

}  // namespace vellmora
