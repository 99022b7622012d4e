#include <windows.h>

#include <vector>

#include "platform/services.h"

namespace platform {
namespace {

SC_HANDLE HandleOf(const ServiceHandle& handle) {
  return reinterpret_cast<SC_HANDLE>(handle.Get());
}

Win32Error LastError() { return static_cast<Win32Error>(::GetLastError()); }

}  // namespace

template <>
void OwnedHandle<ServiceHandleKind>::Close() {
  if (handle_ != 0) ::CloseServiceHandle(reinterpret_cast<SC_HANDLE>(handle_));
  handle_ = 0;
}

Win32Error OpenSCManagerW(std::uint32_t access, ServiceHandle* manager) {
  SC_HANDLE opened = ::OpenSCManagerW(nullptr, nullptr, access);
  if (!opened) return LastError();
  manager->Adopt(reinterpret_cast<std::intptr_t>(opened));
  return kErrorSuccess;
}

Win32Error OpenServiceW(const ServiceHandle& manager, const std::wstring& name,
                        std::uint32_t access, ServiceHandle* service) {
  SC_HANDLE opened = ::OpenServiceW(HandleOf(manager), name.c_str(), access);
  if (!opened) return LastError();
  service->Adopt(reinterpret_cast<std::intptr_t>(opened));
  return kErrorSuccess;
}

Win32Error QueryServiceConfigW(const ServiceHandle& service, ServiceConfig* config) {
  DWORD needed = 0;
  if (::QueryServiceConfigW(HandleOf(service), nullptr, 0, &needed)) return kErrorInvalidParameter;
  Win32Error error = LastError();
  // A configuration is never smaller than its fixed part.
  if (error != ERROR_INSUFFICIENT_BUFFER || needed < sizeof(QUERY_SERVICE_CONFIGW)) return error;
  std::vector<std::uint8_t> buffer(needed);
  auto* info = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(HandleOf(service), info, needed, &needed)) return LastError();
  config->service_type = info->dwServiceType;
  config->start_type = info->dwStartType;
  config->binary_path_name = info->lpBinaryPathName ? info->lpBinaryPathName : L"";
  return kErrorSuccess;
}

Win32Error QueryServiceStatusEx(const ServiceHandle& service, std::uint32_t* current_state) {
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(HandleOf(service), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof(status), &needed)) {
    return LastError();
  }
  *current_state = status.dwCurrentState;
  return kErrorSuccess;
}

Win32Error ControlServiceStop(const ServiceHandle& service) {
  SERVICE_STATUS status = {};
  if (!::ControlService(HandleOf(service), SERVICE_CONTROL_STOP, &status)) return LastError();
  return kErrorSuccess;
}

Win32Error ChangeServiceStartType(const ServiceHandle& service, std::uint32_t start_type) {
  if (!::ChangeServiceConfigW(HandleOf(service), SERVICE_NO_CHANGE, start_type, SERVICE_NO_CHANGE,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
    return LastError();
  }
  return kErrorSuccess;
}

Win32Error DeleteService(const ServiceHandle& service) {
  if (!::DeleteService(HandleOf(service))) return LastError();
  return kErrorSuccess;
}

}  // namespace platform
