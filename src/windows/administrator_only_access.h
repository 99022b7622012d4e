#pragma once
// Whether only administrators may change a file or directory, judged from its security
// descriptor: its owner must be LocalSystem, the Administrators group or TrustedInstaller (an
// owner can always rewrite the access list), and no entry that applies to the object itself may
// let anyone else write, append, create entries, delete, or change its access list or owner.
// Deny entries are not counted in its favour, so a doubtful list is treated as writable.

#include <string>

#include "platform/types.h"

namespace vellmora {

using platform::Path;

// The judgement on SDDL text as ConvertSecurityDescriptorToStringSecurityDescriptorW writes it.
bool SddlAllowsOnlyAdministratorsToModify(const std::wstring& sddl);
// Reads the entry's descriptor (never through a link); false when it cannot be read.
bool OnlyAdministratorsMayModify(const Path& path);

}  // namespace vellmora
