#pragma once
// Operations whose procedures this build does not contain yet. They are reached through their
// real call sites and fail loudly: a failed finish with kNotAvailableMessage, or a probe that
// reports "nothing installed" and says so once in the installation log.

namespace vellmora {

inline constexpr const char* kNotAvailableMessage = "This operation is not available in this build.";

// One line per name and process: "<what> is not available in this build; <consequence>".
void LogNotBuiltOnce(const char* what, const char* consequence);

}  // namespace vellmora
