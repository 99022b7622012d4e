#pragma once
// The part of the installer's state that the wizard draws: copied once per frame under the
// InstallerEngine lock, written by the operation that runs.

#include <string>
#include <vector>

namespace vellmora {

inline constexpr std::size_t kVisibleLogLimit = 200;

struct InstallerSnapshot {
  float progress = 0.0f;  // overall progress, 0 to 1
  bool busy = false;      // an operation runs; no other may start
  bool last_succeeded = false;
  bool engine_installed = false;
  bool pie64_installed = false;  // only evaluated while engine_installed
  bool installation_traces = false;
  bool restart_required = false;
  std::string stage_title = "Ready to install";
  std::string stage_detail;  // also the final message of an operation
  std::string log_path;
  std::vector<std::string> log_lines;  // the visible log, oldest first
  std::vector<std::string> log_times;  // "[hh:mm:ss]" of each line
  std::string destination_root_text;
  std::string install_dir_text;
  std::string data_dir_text;
  std::vector<std::string> fixed_drives;  // roots that may be chosen, ascending

  // Appends a visible line with the current clock time, keeping the newest 200. The caller holds
  // the InstallerEngine lock.
  void AppendLine(const std::string& text);
};

}  // namespace vellmora
