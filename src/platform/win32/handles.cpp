#include <windows.h>

#include "platform/registry.h"
#include "platform/types.h"

namespace platform {

Win32Error CloseHandle(RawHandle handle) {
  // -1 is also the current-process pseudo-handle, which the seam never hands out.
  if (handle == 0 || handle == kNoHandle) return kErrorInvalidHandle;
  return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) ? kErrorSuccess : ::GetLastError();
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = 0;
  }
  return *this;
}

void RegistryKey::Adopt(std::intptr_t handle) {
  Close();
  handle_ = handle;
}

void RegistryKey::Close() {
  if (handle_ != 0) ::RegCloseKey(reinterpret_cast<HKEY>(handle_));
  handle_ = 0;
}

}  // namespace platform
