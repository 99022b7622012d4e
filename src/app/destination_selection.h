#pragma once
// The product is always installed at the root of one fixed disk; the user only picks the disk.
// InstallerEngine::SelectDestination applies a choice; this lists what may be chosen.

#include <vector>

#include "platform/types.h"

namespace vellmora {

// The roots of the fixed disks that exist, in ascending code-unit order.
std::vector<platform::Path> ListFixedDrives();
// The root of path (root name and the separators after it) when it is a fixed disk; empty
// otherwise.
platform::Path FixedDriveRootOf(const platform::Path& path);

}  // namespace vellmora
