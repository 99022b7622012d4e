#include "app/retry_transient.h"

#include <algorithm>
#include <array>

#include "platform/system.h"

namespace vellmora {

bool IsTransientError(platform::Win32Error error) {
  // The first six are the named transient codes; the rest are the Windows codes that the C++
  // library reports as permission_denied, device_or_resource_busy,
  // resource_unavailable_try_again or directory_not_empty.
  static constexpr std::array<platform::Win32Error, 13> kTransient = {
      5,   32,   33,   145, 170, 1237,  // named
      16,  19,   82,                   // permission_denied: current directory, write protect, cannot make
      142, 2401, 2404,                 // device_or_resource_busy: busy drive, open files, device in use
      21,                              // resource_unavailable_try_again: device not ready
  };
  return std::find(kTransient.begin(), kTransient.end(), error) != kTransient.end();
}

bool RetryTransient(const std::function<platform::Win32Error()>& operation, int max_attempts,
                    int* attempts) {
  for (int attempt = 1; attempt <= max_attempts; ++attempt) {
    if (attempts) *attempts = attempt;
    platform::Win32Error error = operation();
    if (error == platform::kErrorSuccess) return true;
    if (!IsTransientError(error) || attempt == max_attempts) return false;
    platform::Sleep(kTransientDelayMs);
  }
  if (attempts) *attempts = 0;
  return false;
}

}  // namespace vellmora
