#include <windows.h>

#include "platform/registry.h"
#include "platform/types.h"

namespace platform {

Win32Error CloseHandle(RawHandle handle) {
  // -1 is also the current-process pseudo-handle, which the seam never hands out.
  if (handle == 0 || handle == kNoHandle) return kErrorInvalidHandle;
  return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) ? kErrorSuccess : ::GetLastError();
}

template <>
void OwnedHandle<RegistryKeyKind>::Close() {
  if (handle_ != 0) ::RegCloseKey(reinterpret_cast<HKEY>(handle_));
  handle_ = 0;
}

}  // namespace platform
