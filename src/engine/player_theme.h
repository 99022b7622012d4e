#pragma once
// The personalised player look comes with the Engine package: the player and its icon in the
// install directory, and two precompiled QML cache files in the per-user Engine root. The check
// runs after the roots are active, before every launch and in the diagnostics, so that a player
// without its look is never started.

namespace vellmora {

class InstallerEngine;

// True when every file is in place; otherwise one log line naming the first that is missing or
// unreadable. A link in any of these places counts as missing: the player is started from here
// by an elevated process.
bool VerifyPlayerTheme(InstallerEngine& engine);

}  // namespace vellmora
