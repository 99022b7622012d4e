#pragma once
// The fixture of the launch tests: an installation in the test's sandbox (install, data, per-user,
// desktop and Start-menu folders), probes the test sets, programs started under the product's
// names, and the direct-start steps put back after each test.

#include <cstddef>
#include <string>
#include <vector>

#include "app/app_test.h"
#include "app/installer_engine.h"
#include "instance/direct_start_steps.h"
#include "platform/process.h"

namespace vellmora::testing {

class InstanceTest : public AppTest {
 protected:
  InstanceTest();
  ~InstanceTest() override;

  // The player, its logo, the QML cache and VellmoraOX.conf: what the start checks read.
  void WriteInstalledProduct();
  // The player stand-in at InstallDir\Vellmora.exe: it records each start in
  // "player-starts.txt" beside itself (its command line, one line each).
  void WritePlayer();
  // The player's recorded starts, once the record appears (waiting up to wait_ms for it).
  std::vector<std::string> PlayerStarts(int wait_ms);
  // A copy of the child tool at path, started sleeping for a minute; returns its index.
  std::size_t StartSleeping(const platform::Path& path);
  bool Running(std::size_t index);
  // Replaces the steps that a test machine cannot take (the COM registration, which is not in
  // this build, and under Wine the virtualization backend, whose processor reports another
  // vendor's hypervisor) by ones that log "test step: <name>." and succeed.
  void StandInForMachineSteps();

  platform::Path InInstallDir(const wchar_t* name) const;
  bool Exists(const platform::Path& path);
  std::string LogText();

  bool engine_installed_ = true;
  bool pie64_registered_ = true;
  InstallerEngine engine_;
  std::vector<platform::ProcessInformation> started_;
};

}  // namespace vellmora::testing
