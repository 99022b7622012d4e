#include "windows/com_activation_test.h"

#include "app/installer_engine.h"
#include "app/progress_report.h"
#include "app/text.h"
#include "platform/com_activation.h"
#include "windows/com_class_paths.h"
#include "windows/process_control.h"

namespace vellmora {
namespace {

platform::HResult ActivatePrivateServer() {
  platform::Guid clsid;
  platform::Guid iid;
  platform::HResult result = platform::CLSIDFromString(kPrivateServerClsid, &clsid);
  if (platform::Succeeded(result)) result = platform::CLSIDFromString(kPrivateIVirtualBox, &iid);
  if (!platform::Succeeded(result)) return result;
  platform::ComInterface virtual_box;
  return platform::CoCreateInstance(clsid, platform::kClsctxLocalServer, iid, &virtual_box);
  // virtual_box is released here, before COM is uninitialised.
}

}  // namespace

bool TestPrivateComActivation(InstallerEngine& engine) {
  const platform::HResult initialised = platform::CoInitializeEx(platform::kCoinitMultithreaded);
  if (!platform::Succeeded(initialised) && initialised != platform::kRpcEChangedMode) {
    ReportLog(engine, "COM activation failed: CoInitializeEx returned " +
                          HexStatusCode(initialised) + ".");
    return false;
  }
  const platform::HResult result = ActivatePrivateServer();
  if (platform::Succeeded(initialised)) platform::CoUninitialize();

  // The server ends once its last object is gone; until then the instance checks would see it.
  if (!WaitForNamedProcessesToExit(engine.paths.InstallDir(), {kPrivateServerFile},
                                   kComServerExitWaitMs, 0)) {
    ReportLog(engine, "Warning: VLMServ.exe was still running after the COM activation test.");
  }
  if (!platform::Succeeded(result)) {
    ReportLog(engine, "COM activation failed: VLMServ.exe could not provide private IVirtualBox (" +
                          HexStatusCode(result) + ").");
    return false;
  }
  ReportLog(engine, "Vellmora private IVirtualBox activation succeeded.");
  return true;
}

}  // namespace vellmora
