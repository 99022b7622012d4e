#include "package/archive_tool.h"

#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/private_directory.h"
#include "app/progress_report.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "package/run_captured.h"
#include "platform/error_messages.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/security.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kSecureTimeLimitMs = 30000;
constexpr std::size_t kLoggedIcaclsOutput = 1024;
constexpr std::uint32_t kNotRunExitCode = 31;

std::string WindowsErrorText(platform::Win32Error error) {
  return std::to_string(error) + ": " + ToUtf8(platform::FormatMessageW(error));
}

void LogNotSecured(InstallerEngine& engine, const Path& path, std::uint32_t exit_code,
                   platform::Win32Error error) {
  ReportLog(engine, "Could not secure staging directory " + ToUtf8(path) +
                        ": icacls exit=" + std::to_string(exit_code) +
                        ", Windows error=" + std::to_string(error) + ".");
}

// An existing ".VellmoraInstaller" is used only when it is a real directory that no ordinary
// user owns; its access list is then made private again, through a handle to that very
// directory, so that a swap between the check and the change cannot redirect it.
platform::Win32Error SecureExistingParent(const Path& parent) {
  platform::FileStatus status;
  platform::Win32Error error = platform::GetFileStatus(parent, &status);
  if (error != platform::kErrorSuccess) return error;
  if (status.attributes & platform::kAttributeReparsePoint) {
    return platform::kErrorReparsePointEncountered;
  }
  if (!(status.attributes & platform::kAttributeDirectory)) return platform::kErrorDirectory;
  platform::UniqueHandle directory;
  error = platform::CreateFileW(parent, platform::kAccessReadControl | platform::kAccessWriteDac,
                                platform::kShareAll, platform::kOpenExisting,
                                platform::kFlagBackupSemantics | platform::kFlagOpenReparsePoint,
                                &directory);
  if (error != platform::kErrorSuccess) return error;
  error = CheckOwnedByAdministrators(directory.Get());
  if (error != platform::kErrorSuccess) return error;
  return platform::SetSecuritySddl(directory.Get(), kPrivateDaclSddl);
}

// Removes a tree without following links: a link is removed itself, never what it points at.
void RemoveTree(const Path& path) {
  platform::FileStatus status;
  if (platform::GetFileStatus(path, &status) != platform::kErrorSuccess) return;
  bool directory = (status.attributes & platform::kAttributeDirectory) != 0;
  bool link = (status.attributes & platform::kAttributeReparsePoint) != 0;
  if (directory && !link) {
    std::vector<platform::DirectoryEntry> entries;
    if (platform::ListDirectory(path, &entries) == platform::kErrorSuccess) {
      for (const platform::DirectoryEntry& entry : entries) RemoveTree(JoinPath(path, entry.name));
    }
  }
  if (directory) {
    platform::RemoveDirectoryW(path);
    return;
  }
  if (status.attributes & platform::kAttributeReadOnly) {
    platform::SetFileAttributesW(path, status.attributes & ~platform::kAttributeReadOnly);
  }
  platform::DeleteFileW(path);
}

}  // namespace

bool WriteResourceToFile(InstallerEngine& /*engine*/, int resource_id, const std::wstring& target) {
  const void* data = nullptr;
  std::uint32_t size = 0;
  if (resource_id < 0 ||
      platform::LoadOwnResource(platform::kResourceTypeRawData,
                                static_cast<std::uint32_t>(resource_id), &data,
                                &size) != platform::kErrorSuccess ||
      !data || size == 0) {
    return false;
  }
  platform::UniqueHandle file;
  if (platform::CreateFileW(target, platform::kGenericWrite, 0, platform::kCreateAlways,
                            platform::kAttributeNormal, &file) != platform::kErrorSuccess) {
    return false;
  }
  std::uint32_t written = 0;
  return platform::WriteFile(file.Get(), data, size, &written) == platform::kErrorSuccess &&
         written == size;
}

std::wstring CreateStagingDirectory(InstallerEngine& engine) {
  Path parent = JoinPath(RootOf(engine.paths.install_base), L".VellmoraInstaller");
  std::wstring guid = NewGuidString(false);
  Path staging = JoinPath(parent, L"Vellmora-" + guid);
  if (guid.empty()) {
    ReportLog(engine, "Could not create staging directory " + ToUtf8(staging) + " (Windows error " +
                          WindowsErrorText(platform::kErrorInvalidParameter) + ").");
    return {};
  }

  platform::Win32Error error =
      platform::CreateDirectoryWithSecurityW(parent, kPrivateDirectorySddl);
  if (error == platform::kErrorAlreadyExists) {
    error = SecureExistingParent(parent);
    if (error != platform::kErrorSuccess) {
      LogNotSecured(engine, parent, kNotRunExitCode, error);
      return {};
    }
  } else if (error != platform::kErrorSuccess) {
    ReportLog(engine, "Could not create staging directory " + ToUtf8(staging) + " (Windows error " +
                          WindowsErrorText(error) + ").");
    return {};
  }
  // A staging directory that exists already was not made by this operation: never reuse one.
  error = platform::CreateDirectoryWithSecurityW(staging, kPrivateDirectorySddl);
  if (error != platform::kErrorSuccess) {
    // The shared parent goes unless another staging directory still uses it.
    platform::RemoveDirectoryW(parent);
    ReportLog(engine, "Could not create staging directory " + ToUtf8(staging) + " (Windows error " +
                          WindowsErrorText(error) + ").");
    return {};
  }

  Path system = System32Dir();
  std::uint32_t exit_code = kNotRunExitCode;
  platform::Win32Error windows_error = platform::kErrorPathNotFound;
  std::string output;
  bool ran = false;
  if (!system.empty()) {
    std::wstring command = QuoteArgument(JoinPath(system, L"icacls.exe")) + L" " +
                           QuoteArgument(staging) +
                           L" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F "
                           L"*S-1-5-32-544:(OI)(CI)F /T /C /Q";
    ran = RunCaptured(engine, command, kSecureTimeLimitMs, &exit_code, &output, &windows_error);
  }
  if (ran && exit_code == 0) return staging;

  LogNotSecured(engine, staging, exit_code, windows_error);
  if (!output.empty()) {
    std::size_t keep = output.size() < kLoggedIcaclsOutput ? output.size() : kLoggedIcaclsOutput;
    ReportLog(engine, "icacls output: " + output.substr(output.size() - keep));
  }
  RemoveStagingDirectory(staging);
  return {};
}

void RemoveStagingDirectory(const std::wstring& path) {
  // Only what has the shape of a staging directory is ever removed here.
  Path parent = ParentPath(path);
  if (!StartsWithIgnoringAsciiCase(LastComponent(path), L"Vellmora-") ||
      !EqualsIgnoringAsciiCase(LastComponent(parent), L".VellmoraInstaller")) {
    return;
  }
  RemoveTree(path);
  // The shared parent goes with its last staging directory; one still in use keeps it.
  platform::RemoveDirectoryW(parent);
}

}  // namespace vellmora
