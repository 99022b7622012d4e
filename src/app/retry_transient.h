#pragma once
// Renames and removals of install roots race with scanners, indexers and Explorer windows that
// hold a file open for a moment; such errors pass if the operation is tried again a little later.

#include <functional>

#include "platform/types.h"

namespace vellmora {

inline constexpr int kTransientAttempts = 20;
inline constexpr unsigned kTransientDelayMs = 500;

// True for the errors worth another attempt: access denied, sharing and lock violations,
// directory not empty, busy, "retry", and the codes the C++ library maps to the same conditions.
bool IsTransientError(platform::Win32Error error);

// Runs operation up to max_attempts times, 500 ms apart, while it fails with a transient error.
// True when one attempt succeeded; *attempts receives the number of attempts made.
bool RetryTransient(const std::function<platform::Win32Error()>& operation, int max_attempts,
                    int* attempts = nullptr);

}  // namespace vellmora
