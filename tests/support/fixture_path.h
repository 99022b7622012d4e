#pragma once
// Fixtures written with std::filesystem (the package forge) reach the machine's paths through
// this: on the simulated machine the host folder behind a Windows path, on Windows the path itself.

#include <filesystem>

#include "platform/types.h"

namespace vellmora::testing {

std::filesystem::path FixturePath(const platform::Path& path);

}  // namespace vellmora::testing
