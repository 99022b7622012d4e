#include <string>
#include <vector>

#include "app/build_info.h"
#include "app/file_helpers.h"
#include "app/install_log.h"
#include "app/installation_probes.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "package/file_version.h"
#include "package/package_manifest.h"
#include "platform/files.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

constexpr const wchar_t* kQmlCacheFiles[] = {
    L"08523e4e67271599f5bb2e57c07b4108dc314c3d.qmlc",
    L"755080695C2EB9FE522A948F55FB7FB092A25767.qmlc",
};

// The entry itself, links not followed: a link to a file is not a regular file.
bool IsRegularFile(const Path& path) {
  platform::FileStatus status;
  return platform::GetFileStatus(path, &status) == platform::kErrorSuccess &&
         (status.attributes & (platform::kAttributeDirectory | platform::kAttributeReparsePoint)) == 0;
}

bool IsPlainDirectory(const Path& path) {
  platform::FileStatus status;
  return platform::GetFileStatus(path, &status) == platform::kErrorSuccess &&
         (status.attributes & platform::kAttributeDirectory) != 0 &&
         (status.attributes & platform::kAttributeReparsePoint) == 0;
}

// The errors that mean "there is nothing at this path".
bool MeansAbsent(platform::Win32Error error) {
  switch (error) {
    case platform::kErrorFileNotFound:
    case platform::kErrorPathNotFound:
    case 53:  // ERROR_BAD_NETPATH
    case 64:  // ERROR_NETNAME_DELETED
    case platform::kErrorInvalidName:
    case platform::kErrorDirectory:
      return true;
    default:
      return false;
  }
}

// The cache folder must be a real directory. A status that cannot be read for another reason
// than absence (access denied, a device error) is a file-system fault, not "not installed"; the
// probe runs at start-up and inside every finish, where nothing could handle an exception, so it
// says so in the log and answers false.
bool IsQmlCacheDirectory(const Path& directory) {
  platform::FileStatus status;
  platform::Win32Error error = platform::GetFileStatus(directory, &status);
  if (error != platform::kErrorSuccess) {
    if (!MeansAbsent(error)) {
      WriteDiagnostic("Installation probe: the QML cache folder " + ToUtf8(directory) +
                      " could not be read (Windows error " + std::to_string(error) +
                      "); the Engine counts as not installed.");
    }
    return false;
  }
  return (status.attributes & platform::kAttributeDirectory) != 0 &&
         (status.attributes & platform::kAttributeReparsePoint) == 0;
}

bool HasQmlCacheFiles(const Path& directory) {
  for (const wchar_t* name : kQmlCacheFiles) {
    if (!IsRegularFile(JoinPath(directory, name))) return false;
  }
  std::vector<platform::DirectoryEntry> entries;
  if (platform::ListDirectory(directory, &entries) != platform::kErrorSuccess) return false;
  int cache_files = 0;
  for (const auto& entry : entries) {
    const std::wstring& name = entry.name;
    if ((entry.status.attributes &
         (platform::kAttributeDirectory | platform::kAttributeReparsePoint)) == 0 &&
        name.size() > 5 && EqualsIgnoringAsciiCase(name.substr(name.size() - 5), L".qmlc")) {
      ++cache_files;
    }
  }
  return cache_files > 2;
}

bool HasEngineTag(const Path& install_dir) {
  std::string tag;
  return ReadWholeFile(JoinPath(install_dir, L"tag.txt"), &tag) && tag.size() > 4 &&
         tag.compare(0, 5, "_ovm5") == 0;
}

// A registered folder as the probe accepts it: a drive path named "Vellmora" at the place this
// installer would use.
bool IsRegisteredFolder(const wchar_t* value_name, const Path& expected) {
  Path registered;
  if (!ReadRegistryString(RegistryRoot::kLocalMachine, kProductKey, value_name, &registered)) {
    return false;
  }
  registered = WithoutTrailingSeparators(registered);
  bool drive_path = registered.size() >= 3 &&
                    ((registered[0] >= L'A' && registered[0] <= L'Z') ||
                     (registered[0] >= L'a' && registered[0] <= L'z')) &&
                    registered[1] == L':' && (registered[2] == L'\\' || registered[2] == L'/');
  return drive_path && EqualsIgnoringCase(LastComponent(registered), L"Vellmora") &&
         PathKey(registered) == PathKey(expected);
}

bool HasEitherRegularFile(const Path& directory, const wchar_t* first, const wchar_t* second) {
  return IsRegularFile(JoinPath(directory, first)) || IsRegularFile(JoinPath(directory, second));
}

}  // namespace

bool IsCurrentEngineInstalled(const InstallerEngine& engine) {
  const InstallPaths& paths = engine.paths;
  if (!paths.IsValid()) return false;
  const Path install_dir = paths.InstallDir();
  const Path data_dir = paths.DataDir();
  const Path qml_cache =
      JoinPath(JoinPath(JoinPath(paths.local_app_data, L"DO-Rarari_ovm5"), L"cache"), L"qmlcache");

  std::wstring release;
  if (!ReadRegistryString(RegistryRoot::kLocalMachine, kProductKey, L"PackageReleaseVersion",
                          &release) ||
      release != WidenBytes(kPackageRelease)) {
    return false;
  }
  std::uint32_t com_identity_version = 0;
  if (!ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"ComIdentityVersion",
                         &com_identity_version) ||
      com_identity_version != 4) {
    return false;
  }
  if (!ManifestMatches(JoinPath(data_dir, L"installed-engine-package-manifest.json"), "engine")) {
    return false;
  }
  if (!IsQmlCacheDirectory(qml_cache)) return false;
  for (const wchar_t* name : {L"Vellmora.exe", L"ProductLogo.ico", L"VLCore.dll", L"KolvVMM.dll",
                              L"libOpenglRender.dll", L"VLMServ.exe", L"KolvC.dll",
                              L"KolvProxyStub.dll"}) {
    if (!IsRegularFile(JoinPath(install_dir, name))) return false;
  }
  if (!IsRegularFile(JoinPath(data_dir, L"VellmoraOX.conf"))) return false;
  if (!FileVersionMatches(JoinPath(install_dir, L"Vellmora.exe"))) return false;
  if (!HasQmlCacheFiles(qml_cache)) return false;
  return HasEngineTag(install_dir);
}

bool HasRegisteredInstallation(const InstallerEngine& engine) {
  const InstallPaths& paths = engine.paths;
  if (!paths.IsValid()) return false;
  const Path install_dir = paths.InstallDir();
  const Path data_dir = paths.DataDir();
  if (!IsRegisteredFolder(L"InstallDir", install_dir) || !IsRegisteredFolder(L"DataDir", data_dir)) {
    return false;
  }
  return IsPlainDirectory(install_dir) && IsPlainDirectory(data_dir) &&
         HasEitherRegularFile(install_dir, L"Vellmora.exe", L"DO-Rarari.exe") &&
         HasEitherRegularFile(data_dir, L"VellmoraOX.conf", L"pellucador.conf");
}

}  // namespace vellmora
