#include "windows/driver_services.h"

#include <algorithm>
#include <string>

#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system.h"

namespace vellmora {
namespace {

using namespace platform;

constexpr std::uint32_t kExpansionUnits = 32768;
constexpr std::uint32_t kServiceWaitMs = 30000;
constexpr std::uint32_t kStatePollMs = 200;
constexpr std::uint32_t kDeletionPollMs = 250;
constexpr int kFileRemovalAttempts = 5;
constexpr std::uint32_t kFileRetryMs = 250;

std::string Code(Win32Error error) { return std::to_string(error); }

bool StartsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// The end of an unquoted image path: just past its first executable extension, else its first
// blank or tab.
std::size_t UnquotedPathEnd(const std::wstring& text) {
  const std::wstring lower = ToLowerCase(text);
  std::size_t end = std::wstring::npos;
  for (const wchar_t* extension : {L".exe", L".sys", L".com", L".dll"}) {
    std::size_t found = lower.find(extension);
    if (found != std::wstring::npos) end = std::min(end, found + 4);
  }
  if (end == std::wstring::npos) end = text.find_first_of(L" \t");
  return end == std::wstring::npos ? text.size() : end;
}

bool IsVerifiedDriverPath(const Path& path, std::uint32_t service_type) {
  if (!IsAbsolutePath(path) || path.size() < 2 || !IsDriveLetter(path[0]) || path[1] != L':') {
    return false;
  }
  const Path name = LastComponent(path);
  if (name.size() < 4 || !EqualsIgnoringCase(name.substr(name.size() - 4), L".sys")) return false;
  return (service_type & (kServiceKernelDriver | kServiceFileSystemDriver)) != 0;
}

// The driver file gone from the install directory, or the reason it could not be: true when it
// is gone. A file that stays is scheduled for deletion at the next restart.
bool RemoveDriverFile(InstallerEngine& engine, const Path& install_dir) {
  const Path file = JoinPath(install_dir, kObsoleteDriverFile);
  Win32Error last_error = kErrorSuccess;
  bool status_unreadable = false;
  bool exists = true;
  for (int attempt = 1; attempt <= kFileRemovalAttempts; ++attempt) {
    last_error = DeleteFileW(file);
    if (last_error == kErrorFileNotFound || last_error == kErrorPathNotFound) {
      last_error = kErrorSuccess;
    }
    if (last_error == kErrorSuccess) {
      FileStatus status;
      Win32Error status_error = GetFileStatus(file, &status);
      if (status_error != kErrorSuccess) {
        exists = false;
        status_unreadable =
            status_error != kErrorFileNotFound && status_error != kErrorPathNotFound;
        break;
      }
    }
    if (attempt < kFileRemovalAttempts) {
      SetFileAttributesW(file, kAttributeNormal);
      Sleep(kFileRetryMs);
    }
  }
  if (last_error == kErrorSuccess && !status_unreadable && !exists) return true;

  Win32Error schedule_error = DeleteFileAtRestart(file);
  if (schedule_error == kErrorSuccess) {
    engine.MarkRestartRequired();
    ReportLog(engine,
              "The obsolete Vellmora driver file is still in use and was scheduled for removal at "
              "the next restart.");
  } else {
    ReportLog(engine,
              "The obsolete Vellmora driver file could not be removed or scheduled for removal "
              "(Windows error " +
                  Code(schedule_error) + ").");
  }
  return false;
}

// An owned service, opened again with the rights to change it: proven once more, disabled,
// stopped and deleted. True when it is gone without a restart.
bool RemoveOwnedService(InstallerEngine& engine, const ServiceHandle& manager,
                        const std::wstring& name, const Path& install_dir) {
  const std::string alias = ToUtf8(name);
  ServiceHandle service;
  Win32Error error = OpenServiceW(manager, name,
                                  kServiceDelete | kServiceQueryConfig | kServiceChangeConfig |
                                      kServiceQueryStatus | kServiceStop,
                                  &service);
  if (error == kErrorServiceDoesNotExist) return true;
  if (error == kErrorServiceMarkedForDelete &&
      WaitForServiceDeletion(manager, name, kServiceWaitMs)) {
    return true;
  }
  if (error != kErrorSuccess) {
    ReportLog(engine, "Could not reopen owned obsolete service " + alias +
                          " for removal (Windows error " + Code(error) + ").");
    if (error == kErrorServiceMarkedForDelete) engine.MarkRestartRequired();
    return false;
  }

  ServiceImage image;
  if (ServiceImageOwnership(service, install_dir, &image) != ServiceOwnership::kOwned) {
    ReportLog(engine, "The ImagePath of obsolete service " + alias +
                          " changed during inspection; the service was preserved.");
    return false;
  }
  error = ChangeServiceStartType(service, kServiceDisabled);
  if (error != kErrorSuccess) {
    ReportLog(engine, "Warning: Windows did not disable obsolete service " + alias +
                          " before removal (Windows error " + Code(error) + ").");
  }
  Win32Error stop_error = kErrorSuccess;
  const bool stopped = StopServiceAndWait(service, kServiceWaitMs, &stop_error);
  const bool may_delete = stopped || stop_error == kErrorServiceNotActive;
  Win32Error delete_error = stop_error;
  if (may_delete) delete_error = DeleteService(service);
  if (may_delete &&
      (delete_error == kErrorSuccess || delete_error == kErrorServiceMarkedForDelete)) {
    // Windows removes the service once the last handle is closed, ours included.
    service.Close();
    if (WaitForServiceDeletion(manager, name, kServiceWaitMs)) {
      ReportLog(engine,
                "[+] Removed obsolete Vellmora driver service without a restart: " + alias + ".");
      return true;
    }
    engine.MarkRestartRequired();
    ReportLog(engine, "The obsolete service " + alias +
                          " was stopped and marked for deletion, but Windows still holds it; a "
                          "restart is required.");
    return false;
  }
  ReportLog(engine, "The obsolete service " + alias +
                        " could not be stopped and removed immediately (stop error " +
                        Code(stop_error) + ", delete error " + Code(delete_error) + ").");
  if (!may_delete) engine.MarkRestartRequired();
  return false;
}

// One alias: true when it is absent, removed, or a harmless foreign record.
bool RemoveAliasIfOwned(InstallerEngine& engine, const ServiceHandle& manager,
                        const std::wstring& name, const Path& install_dir) {
  const std::string alias = ToUtf8(name);
  ServiceHandle service;
  Win32Error error =
      OpenServiceW(manager, name, kServiceQueryConfig | kServiceQueryStatus, &service);
  if (error == kErrorServiceDoesNotExist) return true;
  if (error == kErrorServiceMarkedForDelete) {
    ReportLog(engine,
              "Waiting for Windows to finish the already pending removal of " + alias + ".");
    if (WaitForServiceDeletion(manager, name, kServiceWaitMs)) {
      ReportLog(engine, "[+] Windows completed the pending driver removal without a restart: " +
                            alias + ".");
      return true;
    }
    engine.MarkRestartRequired();
    ReportLog(engine, "The obsolete service " + alias +
                          " remains loaded after the automatic removal attempt; a Windows restart "
                          "is required.");
    return false;
  }
  if (error != kErrorSuccess) {
    ReportLog(engine,
              "Could not open obsolete service " + alias + " (Windows error " + Code(error) + ").");
    return false;
  }

  ServiceImage image;
  switch (ServiceImageOwnership(service, install_dir, &image)) {
    case ServiceOwnership::kUnverifiable:
      ReportLog(engine, "The obsolete service " + alias +
                            " was preserved because its ImagePath could not be verified (Windows "
                            "error " +
                            Code(image.error) + ", configured=" + ToUtf8(image.configured) + ").");
      return false;
    case ServiceOwnership::kForeign: {
      std::uint32_t state = 0;
      error = QueryServiceStatusEx(service, &state);
      // Only the older alias, stopped, may stay behind without failing the operation.
      const bool go_on =
          name == kOlderDriverAlias && error == kErrorSuccess && state == kServiceStopped;
      const std::string state_text = error == kErrorSuccess
                                         ? std::to_string(state)
                                         : "unknown (Windows error " + Code(error) + ")";
      ReportLog(engine, "The obsolete service " + alias +
                            " belongs to another installation and was preserved: image=" +
                            ToUtf8(image.resolved) + " | selected_root=" + ToUtf8(install_dir) +
                            " | state=" + state_text + " | continue=" + (go_on ? "yes" : "no") +
                            ".");
      return go_on;
    }
    case ServiceOwnership::kOwned:
      break;
  }
  service.Close();
  return RemoveOwnedService(engine, manager, name, install_dir);
}

}  // namespace

Path NormalizeServiceImagePath(const std::wstring& configured) {
  if (configured.empty()) return {};
  std::wstring text;
  if (ExpandEnvironmentStringsW(configured, kExpansionUnits, &text) != kErrorSuccess) {
    text = configured;
  }
  text = TrimWhitespace(text);
  if (text.empty()) return {};
  Path path;
  if (text[0] == L'"') {
    std::size_t closing = text.find(L'"', 1);
    if (closing == std::wstring::npos) return {};
    path = text.substr(1, closing - 1);
  } else {
    path = text.substr(0, UnquotedPathEnd(text));
  }
  path = TrimWhitespace(path);
  if (path.rfind(L"\\??\\", 0) == 0 || path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
  const std::wstring kSystemRootPrefix = L"\\systemroot\\";
  if (StartsWithIgnoringCase(path, kSystemRootPrefix)) {
    path = JoinPath(ReadEnvironmentVariable(L"SystemRoot"), path.substr(kSystemRootPrefix.size()));
  }
  return path;
}

ServiceImage QueryServiceImage(const ServiceHandle& service) {
  ServiceImage image;
  ServiceConfig config;
  image.error = QueryServiceConfigW(service, &config);
  if (image.error != kErrorSuccess) return image;
  image.configured = config.binary_path_name;
  if (image.configured.empty()) {
    image.error = kErrorBadPathname;
    return image;
  }
  image.resolved = NormalizeServiceImagePath(image.configured);
  if (!IsVerifiedDriverPath(image.resolved, config.service_type)) image.error = kErrorBadPathname;
  return image;
}

ServiceOwnership ServiceImageOwnership(const ServiceHandle& service, const Path& install_dir,
                                       ServiceImage* image) {
  *image = QueryServiceImage(service);
  if (install_dir.empty() || image->error != kErrorSuccess) return ServiceOwnership::kUnverifiable;
  return IsPathInside(image->resolved, install_dir) ? ServiceOwnership::kOwned
                                                    : ServiceOwnership::kForeign;
}

bool QueryServiceState(const ServiceHandle& service, std::uint32_t* state) {
  return QueryServiceStatusEx(service, state) == kErrorSuccess;
}

bool WaitForServiceState(const ServiceHandle& service, std::uint32_t wanted,
                         std::uint32_t timeout_ms) {
  const std::uint64_t deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    std::uint32_t state = 0;
    if (QueryServiceState(service, &state) && state == wanted) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(kStatePollMs);
  }
}

bool StopServiceAndWait(const ServiceHandle& service, std::uint32_t timeout_ms, Win32Error* error) {
  *error = kErrorSuccess;
  std::uint32_t state = 0;
  Win32Error status_error = QueryServiceStatusEx(service, &state);
  if (status_error != kErrorSuccess) {
    *error = status_error;
    return false;
  }
  if (state == kServiceStopped) return true;
  if (state != kServiceStopPending) {
    Win32Error control_error = ControlServiceStop(service);
    if (control_error != kErrorSuccess && control_error != kErrorServiceNotActive) {
      *error = control_error;
      return false;
    }
  }
  if (!WaitForServiceState(service, kServiceStopped, timeout_ms)) {
    *error = kErrorTimeout;
    return false;
  }
  return true;
}

bool WaitForServiceDeletion(const ServiceHandle& manager, const std::wstring& name,
                            std::uint32_t timeout_ms) {
  const std::uint64_t deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    ServiceHandle service;
    Win32Error error = OpenServiceW(manager, name, kServiceQueryStatus, &service);
    service.Close();
    if (error == kErrorServiceDoesNotExist) return true;
    if (error != kErrorSuccess && error != kErrorServiceMarkedForDelete) return false;
    Sleep(kDeletionPollMs);
    if (GetTickCount64() >= deadline) return false;
  }
}

bool InstallerEngine::RemoveOwnedVellmoraDriverServices() {
  ServiceHandle manager;
  if (OpenSCManagerW(kScManagerConnect, &manager) != kErrorSuccess) {
    ReportLog(*this,
              "Could not open the Windows Service Control Manager while removing obsolete "
              "Vellmora drivers.");
    return false;
  }
  // Without an installation root nothing can prove to be ours.
  const Path install_dir = paths.install_base.empty() ? Path() : paths.InstallDir();
  bool result = true;
  for (const wchar_t* alias : {kOwnDriverAlias, kOlderDriverAlias}) {
    result = RemoveAliasIfOwned(*this, manager, alias, install_dir) && result;
  }
  if (!RemoveDriverFile(*this, install_dir)) return false;
  return result;
}

}  // namespace vellmora
