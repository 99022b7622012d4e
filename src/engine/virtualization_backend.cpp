#include "engine/virtualization_backend.h"

#include <mutex>
#include <string>

#include "app/file_helpers.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_errors.h"
#include "app/text.h"
#include "engine/host_config.h"
#include "engine/hyperv_group_membership.h"
#include "engine/hypervisor_detection.h"
#include "engine/hypervisor_platform_switch.h"
#include "windows/process_control.h"

namespace vellmora {
namespace {

// The file helpers fail in Windows calls, which set no C runtime error number.
constexpr int kNoCrtError = 0;

constexpr const char* kBackendSetting = "klv.status.hypervisor=\"hyperv\"";

void MarkRestartRequiredInSession(InstallerEngine& engine) {
  std::lock_guard<std::mutex> guard(engine.lock);
  engine.view.restart_required = true;
}

const char* GroupStateMessage(HyperVGroupState state) {
  switch (state) {
    case HyperVGroupState::kAdded:
      return "Hyper-V Administrators membership is pending in this session; restart Windows "
             "before using a direct shortcut.";
    case HyperVGroupState::kFailed:
      return "Hyper-V group access could not be configured; DO-Rarari will request administrator "
             "privileges.";
    case HyperVGroupState::kAlreadyMember:
      break;
  }
  return "Hyper-V Administrators access is already configured.";
}

bool SwitchOnAndRequestRestart(InstallerEngine& engine) {
  if (!SwitchHypervisorPlatformOn(engine)) return false;
  MarkRestartRequiredInSession(engine);
  ReportLog(engine,
            "[+] Windows Hypervisor Platform was enabled. Restart Windows before opening Vellmora.");
  return true;
}

// Writes the backend keys and the shared folders into the text read from VellmoraOX.conf, and
// saves it when it changed.
bool RecordBackend(InstallerEngine& engine, const platform::Path& data_root,
                   const platform::Path& config_path, const std::string& original) {
  const bool backend_recorded = original.find(kBackendSetting) != std::string::npos;
  const HyperVGroupState group = EnsureHyperVAdministratorsMembership();
  if (group == HyperVGroupState::kAdded) MarkRestartRequiredInSession(engine);
  if (!backend_recorded) {
    ReportLog(engine,
              "The virtualization backend changed; stopping active emulator processes before "
              "applying it.");
    StopProcessesUnder(engine, true);
  }

  HostConfig config(original);
  const char* elevate = group == HyperVGroupState::kAlreadyMember ? "0" : "1";
  config.SetValue("klv.status.hypervisor", "hyperv");
  config.SetValue("klv.hyperv_elevate_required", elevate);
  config.SetValue("klv.force_hyperv_elevation", elevate);
  for (const wchar_t* folder : {L"Engine\\UserData\\SharedFolder", L"Engine\\UserData\\InputMapper"}) {
    const platform::Path path = JoinPath(data_root, folder);
    const platform::Win32Error error = CreateDirectoryWithParents(path);
    if (error != platform::kErrorSuccess) {
      ReportLog(engine, "Failed to create the Vellmora shared-folder directory: " + ToUtf8(path) +
                            " (Windows error " + std::to_string(error) + ": " +
                            SystemErrorText(error) + ").");
      return false;
    }
  }
  config.SetValue("klv.shared_folders", "Documents,Pictures,InputMapper,KlvSharedFolder");
  if (config.Text() != original && !ReplaceFileAtomically(config_path, config.Text())) {
    ReportLog(engine, "Failed to save the detected virtualization mode in VellmoraOX.conf: " +
                          ToUtf8(config_path) + " (CRT error " + std::to_string(kNoCrtError) +
                          ").");
    return false;
  }
  ReportLog(engine, "[+] Virtualization backend configured: Windows Hypervisor Platform (WHPX).");
  ReportLog(engine, GroupStateMessage(group));
  return true;
}

}  // namespace

bool ConfigureVirtualizationBackend(InstallerEngine& engine, const platform::Path& data_root) {
  const platform::Path config_path = JoinPath(data_root, L"VellmoraOX.conf");
  std::string original;
  if (!ReadWholeFile(config_path, &original)) {
    ReportLog(engine, "Could not read VellmoraOX.conf while detecting the virtualization mode: " +
                          ToUtf8(config_path) + " (CRT error " + std::to_string(kNoCrtError) +
                          ").");
    return false;
  }

  switch (DetectHypervisor()) {
    case HypervisorState::kOther:
      ReportLog(engine,
                "A non-Microsoft hypervisor is active. Vellmora requires Windows Hypervisor "
                "Platform.");
      return false;
    case HypervisorState::kMicrosoft:
      // The Microsoft hypervisor also runs for memory integrity or the Linux subsystem alone,
      // without the platform the Engine needs.
      if (HypervisorPlatformInstalled()) break;
      ReportLog(engine,
                "The Microsoft hypervisor is active, but the Windows Hypervisor Platform feature "
                "is not installed; enabling it.");
      if (!SwitchOnAndRequestRestart(engine)) return false;
      break;
    case HypervisorState::kNone:
      if (!FirmwareVirtualizationEnabled()) {
        ReportLog(engine,
                  "Hardware virtualization is disabled in UEFI/BIOS. Enable Intel VT-x or AMD "
                  "SVM and run the installer again.");
        return false;
      }
      if (!SwitchOnAndRequestRestart(engine)) return false;
      break;
  }
  return RecordBackend(engine, data_root, config_path, original);
}

}  // namespace vellmora
