#pragma once
// The fixture of the Engine preparation tests: an InstallerEngine whose installation lives in the
// test's sandbox (install directory <sandbox>\D\Vellmora, data directory
// <sandbox>\D\ProgramData\Vellmora, profile <sandbox>\C\Users\ana) and three staged roots to
// prepare (<sandbox>\stage\PF, PD, LA). On the simulated machine the clock is fake, so that the
// template copy's pauses cost no real time.

#include <string>

#include "app/app_test.h"
#include "app/installer_engine.h"
#include "forge/forge.h"

namespace vellmora::testing {

class EngineTest : public AppTest {
 protected:
  EngineTest();
  ~EngineTest() override;

  // Writes a file below one of the staged roots (or any path), creating its folders.
  void Write(const platform::Path& path, const std::string& content);
  std::string Read(const platform::Path& path);
  bool Exists(const platform::Path& path);
  // The visible log lines of the engine so far, joined with line breaks.
  std::string LogText();
  // Lays the forged Engine package's payload out as the three staged roots.
  void StageForgedEngine(const forge::PackageOptions& options = {});

  platform::Path pf_;
  platform::Path pd_;
  platform::Path la_;
  InstallerEngine engine_;
};

// "I", "D" and "U" of this fixture's engine, in UTF-8.
std::string Utf8InstallDir(const InstallerEngine& engine);
std::string Utf8DataDir(const InstallerEngine& engine);
std::string Utf8Profile(const InstallerEngine& engine);

// The text as UTF-16LE bytes, without terminator.
std::string Utf16(const std::string& utf8);

}  // namespace vellmora::testing
