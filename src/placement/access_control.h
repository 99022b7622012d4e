#pragma once
// The installed trees' permissions, as plans of icacls runs (the system folder's icacls.exe, each
// run hidden through RunCaptured with a limit of 300 s, one diagnostic line per run):
//   program directory  LocalSystem and Administrators full control, Users read and execute,
//                      inherited by everything below and nothing from the drive root
//   data directory     the same least-privilege root, Users may modify only Logs, Dumps,
//                      Engine\UserData, Engine\Pie64 and three files, and only read the payload
//   per-user directory reset to inherit from the user's profile
// Every target is checked first: a root or an entry that is a link or reparse point, or a tree
// that holds one, gets no icacls run, because icacls would act on what the link points at.
// A fully successful plan writes its marker under the product key.

#include <string>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;
using platform::Path;

inline constexpr const wchar_t* kLeastPrivilegeGrant =
    L"/inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F "
    L"*S-1-5-32-545:(OI)(CI)RX";
inline constexpr const wchar_t* kProtectedFileGrant =
    L"/inheritance:r /grant:r *S-1-5-18:F *S-1-5-32-544:F *S-1-5-32-545:R";

bool SecureProgramFilesRoot(InstallerEngine& engine);
// root empty: the installed data directory, whose endpoint-protected files keep the access list
// they received before activation.
bool SecureProgramDataRoot(InstallerEngine& engine, const Path& root = Path());
bool SecureLocalAppDataRoot(InstallerEngine& engine);

// Tabs and line breaks become blanks, runs of blanks one blank, trimmed, at most 3000 bytes.
std::string SanitizeToolOutput(const std::string& text);

}  // namespace vellmora
