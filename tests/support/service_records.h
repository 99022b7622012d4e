#pragma once
// Service records for tests: a stopped kernel-driver service with a configured image path, made
// on the simulated machine through its controls and on Windows (Wine) by the system folder's
// sc.exe, and removed again through the seam.

#include <string>

namespace vellmora::testing {

// "sc create <name> type= kernel binPath= <image_path>"; false when the record was not made.
bool CreateKernelDriverRecord(const std::wstring& name, const std::wstring& image_path);
// Deletes the service when it exists; nothing when it does not.
void DeleteServiceRecord(const std::wstring& name);

}  // namespace vellmora::testing
