#pragma once
// The Pie64 instance's boot screen: the picture carried in the installer (resource 205) and the
// JSON that names it, written into <data directory>\Engine\Pie64\Promotions on every
// registration, both rewritten each time.
//
// Engine\Pie64 is a folder ordinary users may modify, so a junction there would carry an
// elevated write anywhere. Every level from the data directory down to Promotions must be a real
// directory, and each is held open without delete sharing while the files are written, so that
// none of them can be renamed away and replaced by a link in between. The files go in through a
// new temporary file and a rename, never through a link at their names.

#include <string_view>

namespace vellmora {

class InstallerEngine;

// The metadata text, byte for byte.
extern const std::string_view kBootPromotionMetadata;

// True when both files are in place; otherwise one log line and false. A partly written folder is
// left for the next call, which overwrites it.
bool InstallBootPromotion(InstallerEngine& engine);

}  // namespace vellmora
