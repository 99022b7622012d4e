#pragma once
// The fixture of the Engine preparation tests: the placement tests' engine and sandbox
// installation (install directory <sandbox>\D\Vellmora, data directory
// <sandbox>\D\ProgramData\Vellmora, fake clock on the sim), with the user's profile at
// <sandbox>\C\Users\ana and three staged roots to prepare (<sandbox>\stage\PF, PD, LA).

#include <string>

#include "forge/forge.h"
#include "placement/placement_test.h"

namespace vellmora::testing {

class EngineTest : public PlacementTest {
 protected:
  EngineTest();

  // Writes a file, creating its folders.
  void Write(const platform::Path& path, const std::string& content);
  std::string Read(const platform::Path& path);
  // Lays the forged Engine package's payload out as the three staged roots.
  void StageForgedEngine(const forge::PackageOptions& options = {});

  platform::Path pf_;
  platform::Path pd_;
  platform::Path la_;
};

// "I", "D" and "U" of an engine, in UTF-8.
std::string Utf8InstallDir(const InstallerEngine& engine);
std::string Utf8DataDir(const InstallerEngine& engine);
std::string Utf8Profile(const InstallerEngine& engine);

// The text as UTF-16LE bytes, without terminator.
std::string Utf16(const std::string& utf8);

}  // namespace vellmora::testing
