#pragma once
// Restarting Windows from the wizard, and coming back once after the next logon when the
// operation that needed the restart had failed.

#include "platform/window.h"

namespace vellmora {

inline constexpr const wchar_t* kRunOnceKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const wchar_t* kResumeValueName = L"VellmoraSetupResume";

// With resume set, writes "VellmoraSetupResume" = the quoted path of this executable under
// HKCU\...\RunOnce (true when the registry accepted it); otherwise deletes it (true, also when
// it did not exist).
bool SetResumeEntry(bool resume);

// Registers the resume entry after a failed operation (removes it after a successful one), enables
// the shutdown privilege and asks Windows to restart. When any of that fails, the entry of a
// failed operation is withdrawn again and a warning box owned by `owner` tells the user to restart
// by hand.
void RestartWindowsNow(bool last_succeeded, platform::RawWindow owner);

}  // namespace vellmora
