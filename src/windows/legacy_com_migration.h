#pragma once
// The shared VirtualBox class identities that the side-by-side edition ("Pellucador_kta5", or
// "Pellucador_vod") registers for itself may still hold class paths into this product's install
// directory, left by an earlier version of the product. The migration removes exactly those
// paths and, when that edition legitimately owns the identities, first re-registers its own COM
// server through its own programs. Every refusal comes before anything is changed: inspection,
// the owner's root (which must be complete and writable by administrators only, since its
// programs run elevated), and the check that the owner is not running.

#include <functional>
#include <string>

#include "platform/types.h"

namespace vellmora {

using platform::Path;

// One of the six shared class paths the product once wrote.
struct LegacyComClassPath {
  const wchar_t* value_key;      // whose default value is read
  const wchar_t* key_to_delete;  // deleted when the value is the product's
  const wchar_t* file;           // null: the directory itself
  bool quoted;
};
const LegacyComClassPath (&LegacyComClassPaths())[6];

// The value matches the row's expected value for directory: the file in it (the directory for
// the help directory, compared as a path), quoted for a quoted row, which may also carry
// " -Embedding"; letter case is ignored.
bool LegacyValueMatches(const std::wstring& value, const Path& directory,
                        const LegacyComClassPath& row);
// The value's path (the quoted part when it starts with a quote) is absolute and is directory or
// lies inside it.
bool ValuePointsIntoDirectory(const std::wstring& value, const Path& directory);
// The side-by-side edition's root may be used: its name, its distance from the install
// directory, no link on its way, its three COM binaries, and nobody but administrators able to
// change it or them.
bool ForeignRootIsSafe(const Path& root, const Path& install_dir);
// False when a side-by-side installation is registered but its root is unusable; true otherwise,
// with *root empty when none is registered.
bool FindForeignComOwnerRoot(const Path& install_dir, Path* root);

// Registers the foreign installation's COM server from its root; true on success.
using ForeignComRegistration = std::function<bool(const Path& root)>;

// True when no legacy class path of the product remains. *message is always set; the caller
// reports it.
bool MigrateLegacyComRegistration(const Path& install_dir, const ForeignComRegistration& register_foreign,
                                  std::string* message);

}  // namespace vellmora
