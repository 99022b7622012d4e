#include "instance/player_start.h"

#include <string>

#include "app/installer_engine.h"
#include "app/machine_operation_lock.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/text.h"
#include "instance/product_shortcuts.h"
#include "platform/shell.h"

namespace vellmora {

bool StartPlayer(InstallerEngine& engine, MachineOperationLock* machine_lock) {
  const Path program = JoinPath(engine.paths.InstallDir(), kPlayerExe);
  const Path folder = ParentPath(program);
  std::string failed_step;
  const platform::Win32Error desktop = platform::ShellExecuteFromDesktopW(
      L"open", program, kPlayerArguments, folder, platform::kSwShowNormal, &failed_step);
  if (desktop == platform::kErrorSuccess) {
    machine_lock->Release();
    ReportLog(engine, "[+] Pie64 was started through the desktop shell as the signed-in user.");
    return true;
  }
  ReportLog(engine, "Warning: the desktop shell could not start Vellmora as the signed-in user (" +
                        failed_step + " failed, " + HexStatusCode(desktop) +
                        "); the installer asks Windows to start it directly.");
  const platform::Win32Error direct =
      platform::ShellExecuteW(L"open", program, kPlayerArguments, folder, platform::kSwShowNormal);
  machine_lock->Release();
  if (direct != platform::kErrorSuccess) {
    ReportLog(engine, "Pie64 was not started because Windows rejected the direct Vellmora request.");
    return false;
  }
  ReportLog(engine, "[+] Pie64 was started.");
  return true;
}

}  // namespace vellmora
