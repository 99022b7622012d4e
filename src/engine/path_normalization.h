#pragma once
// Moves a staged Engine into the private namespace: the runtime library, host configuration and
// instance metadata under their new names, then every configuration and PE file of the three
// staged roots rewritten through the PathMapping.

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;

// PF, PD and LA are the staged ProgramFiles, ProgramData and LocalAppData roots; the mapping comes
// from the engine's InstallPaths. A changed file is switched in atomically, an unchanged one is
// never written. A PE file in which a length-changing text occurs is refused, and so is a reparse
// point anywhere in the walked trees. One log line on failure.
bool NormalizeEnginePaths(InstallerEngine& engine, const platform::Path& staged_program_files,
                          const platform::Path& staged_program_data,
                          const platform::Path& staged_local_app_data);

// True when enabled and target, relative to root, is one of the legacy copies and retained
// manifests that normalisation leaves as they are ("pellucador.conf",
// "installed-engine-package-manifest.json", Engine\UserData\QorMetaData.json,
// Engine\Pie64\installed-instance-package-manifest.json), compared without regard to case.
bool IsEndpointProtectedTarget(bool enabled, const platform::Path& root,
                               const platform::Path& target);

}  // namespace vellmora
