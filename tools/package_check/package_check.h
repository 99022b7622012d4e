#pragma once
// The publishers' checker: the checks the installer makes on a downloaded package before it
// installs anything (the listing check with the package's required layout, then the manifest
// extracted alone and matched), run on one archive of this machine, with the installer's own code
// and log lines and no rule of its own.

#include <string>

#include "platform/types.h"

namespace vellmora::package_check {

inline constexpr int kAccepted = 0;
inline constexpr int kRejected = 1;
inline constexpr int kBadUsage = 2;

// kind is "engine" or "instance"; archive an absolute path of the machine. Writes the
// installation log lines of the checks to out_lines (and the log itself) and returns kAccepted or
// kRejected; a check that cannot even run (no staging directory, no archive tool) rejects.
int CheckPackage(const std::string& kind, const platform::Path& archive, std::string* out_lines);

}  // namespace vellmora::package_check
