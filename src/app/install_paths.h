#pragma once
// The absolute paths of one installation, from which every installation step derives its
// targets. The product always sits at the root of one disk: <install_base>\Vellmora and
// <data_base>\Vellmora, where data_base is <install_base>\ProgramData.

#include "platform/types.h"

namespace vellmora {

using platform::Path;

struct InstallPaths {
  Path install_base;       // a drive root, e.g. D:\ (or the parent of an adopted InstallDir)
  Path data_base;          // install_base\ProgramData (or the parent of an adopted DataDir)
  Path program_files;      // %ProgramW6432%, else %ProgramFiles%
  Path program_data;       // known folder ProgramData
  Path local_app_data;     // known folder LocalAppData of the running user
  Path user_profile;       // known folder Profile
  Path desktop;            // known folder Desktop
  Path start_menu_folder;  // known folder Programs joined with "Vellmora"; empty if unusable

  // install_base := root, data_base := root\ProgramData (both empty for an empty root).
  void PlaceOnDrive(const Path& root);
  Path InstallDir() const;
  Path DataDir() const;
  // Non-empty absolute paths, two distinct roots of which neither lies inside the other.
  // Procedures that change the machine refuse to run without it.
  bool IsValid() const;
};

// The defaults of a machine without a registered installation: the product on the disk of
// Program Files, the other folders from the environment and the known folders.
InstallPaths DetectInstallPaths();

// Moves install_base and data_base to the parents of the registered InstallDir and DataDir when
// they are usable: absolute, both named "Vellmora", distinct and not nested. Returns whether it
// adopted them.
bool AdoptRegisteredInstallation(InstallPaths* paths);

}  // namespace vellmora
