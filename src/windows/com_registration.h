#pragma once
// Registration of the product's private COM server: the three binaries of the installed Engine
// register themselves (regsvr32 on the two libraries, the server's "-regserver"), the installer
// writes the class paths it owns, the result is proved by the validation table and a real
// activation, and ComIdentityVersion = 4 records it. A registration that fails anywhere from the
// class paths on is rolled back completely, the marker first, so that it never looks complete.
//
// InstallerEngine::RegisterComComponents (declared with the engine) is the whole procedure;
// EnsureComRegistration repairs before the product is used and leaves a working registration
// alone.

#include <string>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;
using platform::Path;

// No per-user class key contradicts the install directory's class paths, and the class paths are
// written under HKLM.
bool PrepareComClassPaths(InstallerEngine& engine);
// Removes the private registration after a failed attempt; always false.
bool RollbackPartialComRegistration(InstallerEngine& engine);
// True when the private registration is complete (verified, and the marker is 4); otherwise
// repairs it through RegisterComComponents. A working registration is never removed here.
bool EnsureComRegistration(InstallerEngine& engine);

}  // namespace vellmora
