#pragma once
// What is installed: the three probes behind the wizard's status line and the destination rules.
// They run while the InstallerEngine lock is held, so they never report through the engine (a
// line in the installation log is fine).

#include <functional>

namespace vellmora {

class InstallerEngine;

// The current Engine release is completely installed.
bool IsCurrentEngineInstalled(const InstallerEngine& engine);
// The Pie64 instance is registered with the installed Engine.
bool IsPie64Registered(const InstallerEngine& engine);
// The registry records an installation in the expected folders and its key files exist.
bool HasRegisteredInstallation(const InstallerEngine& engine);

// The probes an InstallerEngine runs, the real ones unless a test gives others.
struct InstallationProbes {
  using Probe = std::function<bool(const InstallerEngine&)>;
  Probe engine_installed = IsCurrentEngineInstalled;
  Probe pie64_registered = IsPie64Registered;
  Probe registered_installation = HasRegisteredInstallation;
};

}  // namespace vellmora
