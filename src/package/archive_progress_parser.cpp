#include "package/archive_progress_parser.h"

#include <utility>

#include "app/installer_engine.h"
#include "app/progress_report.h"

namespace vellmora {
namespace {

constexpr std::size_t kTailBytes = 4096;
constexpr std::size_t kScanLimit = 512;
constexpr std::size_t kScanKept = 128;
constexpr std::size_t kMaximumDigits = 3;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

ArchiveProgressParser::ArchiveProgressParser(InstallerEngine& engine, float progress_start,
                                             float progress_end, std::string label)
    : engine_(engine),
      progress_start_(progress_start),
      progress_end_(progress_end),
      label_(std::move(label)) {}

void ArchiveProgressParser::Feed(const char* data, std::size_t size) {
  tail_.append(data, size);
  if (tail_.size() > kTailBytes) tail_.erase(0, tail_.size() - kTailBytes);
  scan_.append(data, size);

  for (std::size_t at = 1; at < scan_.size(); ++at) {
    if (scan_[at] != '%') continue;
    std::size_t first = at;
    while (first > 0 && at - first < kMaximumDigits && IsDigit(scan_[first - 1])) --first;
    if (first == at) continue;
    int value = std::stoi(scan_.substr(first, at - first));
    Apply(value > 100 ? 100 : value);
  }

  if (scan_.size() > kScanLimit) scan_.erase(0, scan_.size() - kScanKept);
}

void ArchiveProgressParser::Apply(int percent) {
  if (percent <= last_percent_) return;
  last_percent_ = percent;
  engine_.SetProgress(progress_start_ +
                      (progress_end_ - progress_start_) * static_cast<float>(percent) / 100.0f);
  while (next_milestone_ <= 75 && percent >= next_milestone_) {
    if (!label_.empty()) {
      ReportLog(engine_, "[*] " + label_ + ": " + std::to_string(next_milestone_) + "%.");
    }
    next_milestone_ += 25;
  }
}

}  // namespace vellmora
