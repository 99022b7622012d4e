#pragma once
// The installation log "Vellmora-Instalacao.txt": one time-stamped English line per fact, opened,
// appended, flushed and closed for every line so that a crash or a forced restart loses nothing
// already written. It lives in ProgramData\Vellmora-Installer\Logs and falls back to the user's
// temporary directory; when neither can be written, the line goes to the debugger output.

#include <mutex>
#include <string>

#include "platform/types.h"

namespace vellmora {

class InstallLog {
 public:
  static InstallLog& Instance();

  // Appends "[date time.ms pid=N] " + text + CRLF. Never throws for file errors.
  void Write(const std::string& text);
  // The log file in use, resolving the location first when none is known yet.
  platform::Path CurrentPath();
  // Drops the remembered location so that the next line resolves it again (tests that replace
  // the machine under a running process need this).
  void ForgetLocation();

 private:
  InstallLog() = default;
  platform::Path ResolveLocation();

  std::mutex lock_;
  platform::Path path_;
};

// One line in the installation log only (never in the wizard's visible log).
void WriteDiagnostic(const std::string& text);

}  // namespace vellmora
