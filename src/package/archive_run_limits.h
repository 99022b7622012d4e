#pragma once
// The clock of the archive runner: how often it polls, when it writes a heartbeat line and when
// it gives up. RunArchiveTool runs with the defaults; tests shorten them.

#include <cstdint>
#include <string>

namespace vellmora {

class InstallerEngine;

struct ArchiveRunLimits {
  std::uint32_t poll_ms = 100;
  std::uint64_t heartbeat_ms = 30000;
  std::uint64_t time_limit_ms = 3600000;
};

bool RunArchiveToolWithLimits(InstallerEngine& engine, const std::wstring& tool,
                              const std::wstring& command, const std::wstring& archive,
                              const std::wstring& destination, float progress_start,
                              float progress_end, const std::string& label,
                              const ArchiveRunLimits& limits);

}  // namespace vellmora
