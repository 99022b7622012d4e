#pragma once
// The Service Control Manager, as Advapi32 has it: opening the manager and a service, reading a
// service's configuration and status, stopping, disabling and deleting it. A deleted service
// stays "marked for deletion" until the last handle to it, in any process, is closed; until then
// opening it fails with kErrorServiceMarkedForDelete.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

// OpenSCManagerW and OpenServiceW access rights (DELETE is kServiceDelete).
inline constexpr std::uint32_t kScManagerConnect = 0x0001;
inline constexpr std::uint32_t kServiceQueryConfig = 0x0001;
inline constexpr std::uint32_t kServiceChangeConfig = 0x0002;
inline constexpr std::uint32_t kServiceQueryStatus = 0x0004;
inline constexpr std::uint32_t kServiceStop = 0x0020;
inline constexpr std::uint32_t kServiceDelete = 0x00010000;

// Service types (SERVICE_*), start types and states.
inline constexpr std::uint32_t kServiceKernelDriver = 0x1;
inline constexpr std::uint32_t kServiceFileSystemDriver = 0x2;
inline constexpr std::uint32_t kServiceWin32OwnProcess = 0x10;
inline constexpr std::uint32_t kServiceBootStart = 0;
inline constexpr std::uint32_t kServiceSystemStart = 1;
inline constexpr std::uint32_t kServiceAutoStart = 2;
inline constexpr std::uint32_t kServiceDemandStart = 3;
inline constexpr std::uint32_t kServiceDisabled = 4;
inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStartPending = 2;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;

// An open Service Control Manager or service handle (SC_HANDLE); closed (CloseServiceHandle)
// when it goes out of scope.
struct ServiceHandleKind;
using ServiceHandle = OwnedHandle<ServiceHandleKind>;
template <>
void OwnedHandle<ServiceHandleKind>::Close();  // CloseServiceHandle

// The QUERY_SERVICE_CONFIGW fields the installer reads.
struct ServiceConfig {
  std::uint32_t service_type = 0;
  std::uint32_t start_type = 0;
  std::wstring binary_path_name;  // exactly as configured (lpBinaryPathName)
};

// OpenSCManagerW of the local machine's active database.
Win32Error OpenSCManagerW(std::uint32_t access, ServiceHandle* manager);
// OpenServiceW: kErrorServiceDoesNotExist for an unknown name, kErrorServiceMarkedForDelete
// for a deleted service that someone still holds.
Win32Error OpenServiceW(const ServiceHandle& manager, const std::wstring& name,
                        std::uint32_t access, ServiceHandle* service);
// QueryServiceConfigW (with kServiceQueryConfig), sized to the configuration.
Win32Error QueryServiceConfigW(const ServiceHandle& service, ServiceConfig* config);
// QueryServiceStatusEx(SC_STATUS_PROCESS_INFO) (with kServiceQueryStatus): dwCurrentState.
Win32Error QueryServiceStatusEx(const ServiceHandle& service, std::uint32_t* current_state);
// ControlService(SERVICE_CONTROL_STOP) (with kServiceStop): kErrorServiceNotActive for a
// stopped service; a driver that cannot be unloaded refuses the control.
Win32Error ControlServiceStop(const ServiceHandle& service);
// ChangeServiceConfigW of the start type alone (with kServiceChangeConfig), every other setting
// SERVICE_NO_CHANGE.
Win32Error ChangeServiceStartType(const ServiceHandle& service, std::uint32_t start_type);
// DeleteService (with kServiceDelete): marks the service for deletion; it disappears once every
// handle to it is closed. kErrorServiceMarkedForDelete when it already is.
Win32Error DeleteService(const ServiceHandle& service);

}  // namespace platform
