#include "app/system_errors.h"

#include <cstdint>

#include "app/text.h"
#include "platform/system.h"

namespace vellmora {

std::string SystemErrorText(platform::Win32Error error) {
  std::wstring text = TrimWhitespace(platform::FormatMessageW(error));
  if (text.empty()) return "Windows error " + std::to_string(error);
  return ToUtf8(text);
}

std::string SignedErrorCode(platform::Win32Error error) {
  return std::to_string(static_cast<std::int32_t>(error));
}

FileSystemError::FileSystemError(const std::string& operation, const platform::Path& path,
                                 platform::Win32Error error)
    : std::runtime_error(operation + ": " + ToUtf8(path) + ": " + SystemErrorText(error)),
      error_(error) {}

}  // namespace vellmora
