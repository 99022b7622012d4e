#pragma once
// The hidden, time-limited child-process runner through which every system tool runs (icacls,
// dism, bcdedit, regsvr32, the archive tool without progress). It logs nothing: callers word the
// lines from its results.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;

// What a child that ran past its time limit ends with, and the error recorded for it
// (ERROR_TIMEOUT).
inline constexpr std::uint32_t kTimedOutExitCode = 1460;

// Starts command_line as given (no console window, hidden), waits at most time_limit_ms and
// terminates the child with exit code 1460 when the limit passes. With output set, the child's
// standard input, output and error are one temporary file whose bytes come back converted from the
// OEM code page to UTF-8. True exactly when the child ended within the limit; *exit_code is
// separate (31 when the child never started, 1 when it cannot be read), and callers test both.
// *windows_error is 0, the start's error, or 1460 after the limit.
bool RunCaptured(InstallerEngine& engine, const std::wstring& command_line,
                 std::uint32_t time_limit_ms, std::uint32_t* exit_code,
                 std::string* output = nullptr, platform::Win32Error* windows_error = nullptr);

}  // namespace vellmora
