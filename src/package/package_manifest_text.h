#pragma once
// "package-manifest.json" of a package, checked as text: every white-space byte is removed from
// the whole text (inside strings too) and fixed fragments are searched in what remains. The
// package object runs from "package":{ to the first '}' after it, so its version and kind must
// stand before any object nested in it.

#include <string>
#include <string_view>

namespace vellmora {

// Schema 2, the package object's version equal to the release this installer installs, its kind
// equal to `kind` ("engine" or "instance"), and for "engine" the release identifier (its '+'
// also accepted as \u002B).
bool ManifestTextMatches(std::string_view text, const std::string& kind);

// The root disk entry "disks":{"root":{"file":"Root.vhd","mode":"normal"} in the compact text,
// which must be longer than 50 bytes. The package checks are separate.
bool ManifestTextHasRootDisk(std::string_view text);

}  // namespace vellmora
