#include "windows/installer_copy.h"

#include "app/file_helpers.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/private_directory.h"
#include "app/progress_report.h"
#include "app/system_errors.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/security.h"

namespace vellmora {
namespace {

constexpr const wchar_t* kInstallerFolderName = L"Vellmora-Installer";
constexpr const wchar_t* kCopyFolderPrefix = L"Setup-";
constexpr std::size_t kGuidLength = 36;

platform::Path InstallerFolder(const InstallerEngine& engine) {
  return JoinPath(engine.paths.program_data, kInstallerFolderName);
}

std::string WindowsErrorDetail(platform::Win32Error error) {
  return " (Windows error " + std::to_string(error) + ": " + SystemErrorText(error) + ").";
}

platform::Path NoCopy(InstallerEngine& engine, const platform::Path& path,
                      platform::Win32Error error) {
  ReportLog(engine, "Could not keep a copy of the installer for the uninstall entry: " +
                        ToUtf8(path) + WindowsErrorDetail(error));
  return {};
}

// Opens the installer folder itself (never a link's target) and keeps it from being renamed while
// the handle is open; *created tells whether this call made it.
platform::Win32Error HoldInstallerFolder(const platform::Path& folder, platform::UniqueHandle* held,
                                         bool* created) {
  platform::Win32Error error = platform::CreateDirectoryW(folder);
  *created = error == platform::kErrorSuccess;
  if (!*created && error != platform::kErrorAlreadyExists) return error;
  error =
      platform::CreateFileW(folder, platform::kAccessReadControl,
                            platform::kShareRead | platform::kShareWrite, platform::kOpenExisting,
                            platform::kFlagBackupSemantics | platform::kFlagOpenReparsePoint, held);
  if (error != platform::kErrorSuccess) return error;
  platform::FileStatus status;
  error = platform::GetFileStatus(folder, &status);
  if (error != platform::kErrorSuccess) return error;
  if (status.attributes & platform::kAttributeReparsePoint) {
    return platform::kErrorReparsePointEncountered;
  }
  if (!(status.attributes & platform::kAttributeDirectory)) return platform::kErrorDirectory;
  return platform::kErrorSuccess;
}

platform::Win32Error OwnerOf(const platform::Path& path, std::wstring* owner) {
  platform::UniqueHandle object;
  platform::Win32Error error = platform::CreateFileW(
      path, platform::kAccessReadControl, platform::kShareAll, platform::kOpenExisting,
      platform::kFlagBackupSemantics | platform::kFlagOpenReparsePoint, &object);
  return error != platform::kErrorSuccess ? error : platform::GetOwnerSid(object.Get(), owner);
}

// An installer folder that was there before proves itself by its owner: LocalSystem, the
// Administrators group, or the owner this system recorded for the private folder just made with
// the Administrators group as its owner. On Windows that is the Administrators group itself;
// Wine records the running user for every file, and has no other.
platform::Win32Error ProveEarlierFolder(platform::RawHandle folder,
                                        const platform::Path& own_private_folder) {
  platform::Win32Error error = CheckOwnedByAdministrators(folder);
  if (error != platform::kErrorInvalidOwner) return error;
  std::wstring owner;
  std::wstring own_owner;
  if (platform::GetOwnerSid(folder, &owner) != platform::kErrorSuccess ||
      OwnerOf(own_private_folder, &own_owner) != platform::kErrorSuccess || owner != own_owner) {
    return platform::kErrorInvalidOwner;
  }
  return platform::kErrorSuccess;
}

// The folder of a copy this installer made: <installer folder>\Setup-<GUID>\VellmoraSetup.exe.
bool IsInstallerCopy(const InstallerEngine& engine, const platform::Path& path) {
  const platform::Path folder = ParentPath(path);
  const std::wstring name = LastComponent(folder);
  return EqualsIgnoringAsciiCase(LastComponent(path), kInstallerCopyName) &&
         StartsWithIgnoringAsciiCase(name, kCopyFolderPrefix) &&
         name.size() == std::wstring(kCopyFolderPrefix).size() + kGuidLength &&
         PathKey(ParentPath(folder)) == PathKey(InstallerFolder(engine));
}

}  // namespace

platform::Path CopyInstallerForUninstall(InstallerEngine& engine) {
  const platform::Path parent = InstallerFolder(engine);
  const std::wstring guid = NewGuidString(false);
  const platform::Path folder = JoinPath(parent, kCopyFolderPrefix + guid);
  const platform::Path copy = JoinPath(folder, kInstallerCopyName);
  const platform::Path source = platform::GetModuleFileNameW();
  if (engine.paths.program_data.empty() || guid.empty() || source.empty()) {
    return NoCopy(engine, copy, platform::kErrorInvalidParameter);
  }

  platform::UniqueHandle held;
  bool created = false;
  platform::Win32Error error = HoldInstallerFolder(parent, &held, &created);
  if (error != platform::kErrorSuccess) return NoCopy(engine, parent, error);
  // A folder that exists already was not made by this call: never reuse one.
  error = platform::CreateDirectoryWithSecurityW(folder, kPrivateDirectorySddl);
  if (error != platform::kErrorSuccess) return NoCopy(engine, folder, error);
  if (!created) {
    // Nothing has been written yet: an installer folder that cannot prove itself loses only the
    // empty private folder just made in it.
    error = ProveEarlierFolder(held.Get(), folder);
    if (error != platform::kErrorSuccess) {
      platform::RemoveDirectoryW(folder);
      return NoCopy(engine, parent, error);
    }
  }

  std::string image;
  if (!ReadWholeFile(source, &image, &error)) {
    RemoveDirectoryTree(folder);
    return NoCopy(engine, source, error);
  }
  if (!ReplaceFileAtomically(copy, image, &error)) {
    RemoveDirectoryTree(folder);
    return NoCopy(engine, copy, error);
  }
  return copy;
}

void RemoveEarlierInstallerCopy(InstallerEngine& engine,
                                const std::wstring& earlier_uninstall_string,
                                const platform::Path& current_copy) {
  const std::wstring& text = earlier_uninstall_string;
  if (text.size() < 2 || text.front() != L'"' || text.back() != L'"') return;
  const platform::Path earlier = text.substr(1, text.size() - 2);
  if (!IsInstallerCopy(engine, earlier) ||
      PathKey(ParentPath(earlier)) == PathKey(ParentPath(current_copy))) {
    return;
  }
  const platform::Win32Error error = RemoveDirectoryTree(ParentPath(earlier));
  if (error != platform::kErrorSuccess) {
    ReportLog(engine, "Warning: the earlier installer copy " + ToUtf8(ParentPath(earlier)) +
                          " could not be removed" + WindowsErrorDetail(error));
  }
}

}  // namespace vellmora
