#include "app/system_errors.h"

#include <cstdint>

#include "app/text.h"
#include "platform/error_messages.h"

namespace vellmora {

std::string SystemErrorText(platform::Win32Error error) {
  return ToUtf8(TrimWhitespace(platform::FormatMessageW(error)));
}

std::string SignedErrorCode(platform::Win32Error error) {
  return std::to_string(static_cast<std::int32_t>(error));
}

FileSystemError::FileSystemError(const std::string& operation, const platform::Path& path,
                                 platform::Win32Error error)
    : std::runtime_error(operation + ": " + ToUtf8(path) + ": " + SystemErrorText(error)),
      error_(error) {}

}  // namespace vellmora
