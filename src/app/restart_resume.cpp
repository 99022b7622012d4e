#include "app/restart_resume.h"

#include <string>

#include "app/install_log.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "platform/paths.h"
#include "platform/security.h"
#include "platform/shutdown.h"

namespace vellmora {
namespace {

constexpr const wchar_t* kManualRestartText =
    L"N\u00e3o foi poss\u00edvel reiniciar o Windows automaticamente. Salve seus arquivos e "
    L"reinicie pelo menu Iniciar.";

}  // namespace

bool SetResumeEntry(bool resume) {
  if (!resume) return DeleteRegistryValue(RegistryRoot::kCurrentUser, kRunOnceKey, kResumeValueName);
  const platform::Path executable = platform::GetModuleFileNameW();
  if (executable.empty()) return false;
  return WriteRegistryString(RegistryRoot::kCurrentUser, kRunOnceKey, kResumeValueName,
                             QuoteArgument(executable));
}

void RestartWindowsNow(bool last_succeeded, platform::RawWindow owner) {
  if (SetResumeEntry(!last_succeeded)) {
    platform::Win32Error error = platform::EnableTokenPrivilege(L"SeShutdownPrivilege");
    if (error == platform::kErrorSuccess) {
      error = platform::ExitWindowsEx(platform::kEwxReboot | platform::kEwxForceIfHung,
                                      platform::kShutdownReasonPlannedApplicationInstallation);
      if (error == platform::kErrorSuccess) {
        WriteDiagnostic("RESTART: Windows was asked to restart.");
        return;
      }
      WriteDiagnostic("RESTART: Windows refused the restart (Windows error " + std::to_string(error) +
                      ").");
    } else {
      WriteDiagnostic("RESTART: the shutdown privilege could not be enabled (Windows error " +
                      std::to_string(error) + ").");
    }
    // No stale resume entry may outlive a restart that did not happen.
    if (!last_succeeded) SetResumeEntry(false);
  } else {
    WriteDiagnostic("RESTART: the resume entry could not be updated; Windows was not restarted.");
  }
  platform::MessageBoxW(owner, kManualRestartText, L"Vell Mora", platform::kMbIconExclamation);
}

}  // namespace vellmora
