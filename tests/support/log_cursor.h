#pragma once
// Reads what the installation log gained since a point in time. The log of a machine is shared by
// every test on Windows (one Wine prefix), so a test looks only at its own lines.

#include <string>
#include <vector>

#include "platform/types.h"

namespace vellmora::testing {

// C:\ProgramData\Vellmora-Installer\Logs\Vellmora-Instalacao.txt of the machine (through the
// known folder).
platform::Path PrimaryLogPath();

class LogCursor {
 public:
  explicit LogCursor(platform::Path path = PrimaryLogPath());
  // The text appended since construction (or the last Skip).
  std::string NewText() const;
  // Lines appended since construction, without the "[date time pid=N] " prefix and the CRLF.
  std::vector<std::string> NewLines() const;
  void Skip();

 private:
  platform::Path path_;
  std::size_t start_ = 0;
};

// The text of a log line after its prefix; the whole line when it has none.
std::string WithoutLogPrefix(const std::string& line);

}  // namespace vellmora::testing
