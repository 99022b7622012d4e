#pragma once
// How the installer words a Windows error, and the one exception it raises on purpose: a file
// status that cannot be read where the procedure cannot go on without it. The worker's catch-all
// turns that exception into the operation's failed finish.

#include <stdexcept>
#include <string>

#include "platform/types.h"

namespace vellmora {

// The system's text for the error, in UTF-8, without surrounding white space.
std::string SystemErrorText(platform::Win32Error error);
// The error code as the log prints it: signed decimal (0x80070005 is -2147024891).
std::string SignedErrorCode(platform::Win32Error error);

class FileSystemError : public std::runtime_error {
 public:
  // "<operation>: <path>: <system text>"
  FileSystemError(const std::string& operation, const platform::Path& path,
                  platform::Win32Error error);
  platform::Win32Error error() const { return error_; }

 private:
  platform::Win32Error error_;
};

}  // namespace vellmora
