#pragma once
// The product's registry entries in one pass: the product key and the engine namespace key under
// HKLM (64-bit view) and HKCU, then the uninstall entry, whose "UninstallString" starts a private
// copy of this installer (installer_copy.h). Every write and delete is attempted even
// after an earlier one failed, each refused one leaves its "REGISTRY FAILURE: " line, and the
// pass ends with one visible line saying whether all of them succeeded.
//
// The record of the side-by-side edition's driver (OriginalDriverStartType and
// OriginalDriverWasRunning) survives the pass: the uninstall restores that driver from it, and an
// upgrade that erased it would leave the other emulator broken. The uninstall removes the key
// as a whole.

#include <string>

namespace vellmora {

class InstallerEngine;

// The installation and data roots and the ADB port come from the engine; local_app_data_dir is
// the per-user Engine root (LocalAppData joined with "DO-Rarari_ovm5"). True when every step
// succeeded.
bool WriteProductRegistryEntries(InstallerEngine& engine, const std::wstring& machine_id,
                                 const std::wstring& version_machine_id,
                                 const std::wstring& local_app_data_dir);

}  // namespace vellmora
