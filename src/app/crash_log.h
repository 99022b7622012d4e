#pragma once
// The last-chance record of a crash: "Vellmora-Installer-Crash.log" in the user's temporary
// directory, four lines (exception code, address, process and thread), overwritten by the next.
// It is written where the process may be broken: the heap corrupted, a lock held by the thread
// that crashed, little stack left. So the writer uses static buffers and no lock, and asks the
// platform only for calls that promise the same.

#include <cstddef>
#include <cstdint>

#include "platform/system.h"

namespace vellmora {

inline constexpr std::size_t kCrashRecordBytes = 256;

// Formats the record into record (kCrashRecordBytes bytes); returns its length, at most 255.
std::size_t FormatCrashRecord(const platform::ExceptionDetails& details, std::uint32_t process_id,
                              std::uint32_t thread_id, char* record);
// The process-wide unhandled-exception filter; always lets the process end.
long WriteCrashLog(const platform::ExceptionDetails& details);

// The first thing the entry does: WriteCrashLog becomes the unhandled-exception filter, and a
// std::terminate (an exception that escaped a thread, a throw from a noexcept function) writes
// the record too before it ends the process, since Windows' filter never hears of those.
void InstallCrashHandlers();

}  // namespace vellmora
