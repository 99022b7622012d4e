#pragma once
// Reads the archive tool's "-bsp1" progress ("  42% 17 - payload/x") from the chunks its pipe
// delivers: moves the progress bar through the caller's band, logs the 25, 50 and 75 milestones
// once each, and keeps the last 4096 bytes as the tail for a failure line. Memory stays constant
// however long the tool prints.

#include <cstddef>
#include <string>

namespace vellmora {

class InstallerEngine;

class ArchiveProgressParser {
 public:
  ArchiveProgressParser(InstallerEngine& engine, float progress_start, float progress_end,
                        std::string label);

  void Feed(const char* data, std::size_t size);

  const std::string& tail() const { return tail_; }
  int last_percent() const { return last_percent_; }

 private:
  void Apply(int percent);

  InstallerEngine& engine_;
  float progress_start_;
  float progress_end_;
  std::string label_;
  std::string tail_;
  std::string scan_;
  int last_percent_ = 0;
  int next_milestone_ = 25;
};

}  // namespace vellmora
