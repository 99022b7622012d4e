#pragma once
// The last-chance record of a crash: "Vellmora-Installer-Crash.log" in the user's temporary
// directory, four lines (exception code, address, process and thread), overwritten by the next.

#include <string>

#include "platform/system.h"

namespace vellmora {

// The record's text, at most 255 characters.
std::string FormatCrashRecord(const platform::ExceptionDetails& details, std::uint32_t process_id,
                              std::uint32_t thread_id);
// The process-wide unhandled-exception filter; always lets the process end.
long WriteCrashLog(const platform::ExceptionDetails& details);

}  // namespace vellmora
