#include <windows.h>
#include <sddl.h>

#include "platform/sync.h"

namespace platform {
namespace {

// -1 is also the current-process pseudo-handle: waiting on it would wait for this process to end
// instead of failing.
bool IsNoHandle(RawHandle handle) { return handle == 0 || handle == kNoHandle; }

}  // namespace

Win32Error CreateMutexW(const std::wstring& name, const std::wstring& sddl, UniqueHandle* mutex) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!sddl.empty() && !::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                           sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    descriptor = nullptr;  // an unusable descriptor text leaves the default security
  }
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = descriptor;
  attributes.bInheritHandle = FALSE;
  HANDLE handle = ::CreateMutexW(descriptor ? &attributes : nullptr, FALSE, name.c_str());
  Win32Error error = handle ? kErrorSuccess : ::GetLastError();
  if (descriptor) ::LocalFree(descriptor);
  // CreateMutexW asks for full access to an existing mutex; one made by another user or
  // elevation level may grant only what waiting and releasing need.
  if (!handle && error == ERROR_ACCESS_DENIED) {
    handle = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
    error = handle ? kErrorSuccess : ::GetLastError();
  }
  if (!handle) return error;
  mutex->Reset(reinterpret_cast<RawHandle>(handle));
  return kErrorSuccess;
}

std::uint32_t WaitForSingleObject(RawHandle mutex, std::uint32_t milliseconds) {
  if (IsNoHandle(mutex)) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return kWaitFailed;
  }
  return ::WaitForSingleObject(reinterpret_cast<HANDLE>(mutex), milliseconds);
}

Win32Error ReleaseMutex(RawHandle mutex) {
  if (IsNoHandle(mutex)) return kErrorInvalidHandle;
  return ::ReleaseMutex(reinterpret_cast<HANDLE>(mutex)) ? kErrorSuccess : ::GetLastError();
}

}  // namespace platform
