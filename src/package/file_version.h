#pragma once
// The installed player must be the release this installer installs: its fixed file and product
// versions, read from its version resource, both equal the package release.

#include "platform/types.h"

namespace vellmora {

bool FileVersionMatches(const platform::Path& executable);

}  // namespace vellmora
