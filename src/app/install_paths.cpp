#include "app/install_paths.h"

#include "app/path_helpers.h"
#include "app/registry_access.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "platform/paths.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

constexpr const wchar_t* kProductFolder = L"Vellmora";

Path KnownFolder(platform::KnownFolder folder) {
  Path path;
  if (platform::SHGetKnownFolderPath(folder, true, &path) != platform::kErrorSuccess) return {};
  return path;
}

bool AbsoluteAndSet(const Path& path) { return !path.empty() && IsAbsolutePath(path); }

// Two product folders must never be one folder or hold one another: every step that replaces
// one of them would take the other with it.
bool DistinctAndNotNested(const Path& a, const Path& b) {
  return PathKey(a) != PathKey(b) && !IsPathInside(a, b) && !IsPathInside(b, a);
}

}  // namespace

void InstallPaths::PlaceOnDrive(const Path& root) {
  install_base = root;
  data_base = root.empty() ? Path() : JoinPath(root, L"ProgramData");
}

Path InstallPaths::InstallDir() const { return JoinPath(install_base, kProductFolder); }

Path InstallPaths::DataDir() const { return JoinPath(data_base, kProductFolder); }

bool InstallPaths::IsValid() const {
  if (!AbsoluteAndSet(install_base) || !AbsoluteAndSet(data_base)) return false;
  if (!DistinctAndNotNested(InstallDir(), DataDir())) return false;
  for (const Path* path : {&program_files, &program_data, &local_app_data, &user_profile,
                           &desktop, &start_menu_folder}) {
    if (!AbsoluteAndSet(*path)) return false;
  }
  return true;
}

InstallPaths DetectInstallPaths() {
  InstallPaths paths;
  paths.program_files = ReadEnvironmentVariable(L"ProgramW6432");
  if (paths.program_files.empty()) paths.program_files = ReadEnvironmentVariable(L"ProgramFiles");
  paths.program_data = KnownFolder(platform::KnownFolder::kProgramData);
  paths.PlaceOnDrive(RootOf(paths.program_files));
  paths.local_app_data = KnownFolder(platform::KnownFolder::kLocalAppData);
  paths.user_profile = KnownFolder(platform::KnownFolder::kProfile);
  paths.desktop = KnownFolder(platform::KnownFolder::kDesktop);
  Path programs = KnownFolder(platform::KnownFolder::kPrograms);
  if (AbsoluteAndSet(programs)) paths.start_menu_folder = JoinPath(programs, kProductFolder);
  return paths;
}

bool AdoptRegisteredInstallation(InstallPaths* paths) {
  Path install_dir;
  Path data_dir;
  if (!ReadRegistryString(RegistryRoot::kLocalMachine, kProductKey, L"InstallDir", &install_dir) ||
      !ReadRegistryString(RegistryRoot::kLocalMachine, kProductKey, L"DataDir", &data_dir)) {
    return false;
  }
  install_dir = WithoutTrailingSeparators(install_dir);
  data_dir = WithoutTrailingSeparators(data_dir);
  if (!IsAbsolutePath(install_dir) || !IsAbsolutePath(data_dir) ||
      !EqualsIgnoringCase(LastComponent(install_dir), kProductFolder) ||
      !EqualsIgnoringCase(LastComponent(data_dir), kProductFolder) ||
      !DistinctAndNotNested(install_dir, data_dir)) {
    return false;
  }
  paths->install_base = ParentPath(install_dir);
  paths->data_base = ParentPath(data_dir);
  return true;
}

}  // namespace vellmora
