#include "windows/legacy_com_migration.h"

#include <vector>

#include "app/path_helpers.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "platform/files.h"
#include "windows/administrator_only_access.h"
#include "windows/process_control.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kViews[] = {platform::kKeyWow64_64Key, platform::kKeyWow64_32Key};
constexpr RegistryRoot kRoots[] = {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser};
constexpr const wchar_t* kForeignBinaries[] = {L"KolvSVC.exe", L"KolvC.dll", L"KolvProxyStub.dll"};
constexpr const wchar_t* kForeignRootNames[] = {L"Pellucador_kta5", L"Pellucador_vod"};

const LegacyComClassPath kLegacyRows[6] = {
    {L"SOFTWARE\\Classes\\CLSID\\{ae316c2b-c93a-4b56-93f9-696f59a5e91f}\\LocalServer32",
     L"SOFTWARE\\Classes\\CLSID\\{ae316c2b-c93a-4b56-93f9-696f59a5e91f}", L"KolvSVC.exe", true},
    {L"SOFTWARE\\Classes\\CLSID\\{f1c2ea8f-9fcd-43c1-a8db-94f57a3bae9a}\\InprocServer32",
     L"SOFTWARE\\Classes\\CLSID\\{f1c2ea8f-9fcd-43c1-a8db-94f57a3bae9a}", L"KolvC.dll", false},
    {L"SOFTWARE\\Classes\\CLSID\\{f2db3c6e-125c-4103-97f9-e4bc42a449f4}\\InprocServer32",
     L"SOFTWARE\\Classes\\CLSID\\{f2db3c6e-125c-4103-97f9-e4bc42a449f4}", L"KolvC.dll", false},
    {L"SOFTWARE\\Classes\\CLSID\\{F3265CBC-288B-4670-9518-1A0B4A58192F}\\InProcServer32",
     L"SOFTWARE\\Classes\\CLSID\\{F3265CBC-288B-4670-9518-1A0B4A58192F}", L"KolvProxyStub.dll",
     false},
    {L"SOFTWARE\\Classes\\TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}\\1.3\\0\\win64",
     L"SOFTWARE\\Classes\\TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}\\1.3\\0\\win64",
     L"KolvProxyStub.dll", false},
    {L"SOFTWARE\\Classes\\TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}\\1.3\\HELPDIR",
     L"SOFTWARE\\Classes\\TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}\\1.3\\HELPDIR", nullptr,
     false},
};

enum class ValueRead { kAbsent, kRead, kFailed };

ValueRead ReadClassPath(RegistryRoot root, const wchar_t* key, std::uint32_t view,
                        std::wstring* value) {
  platform::RegistryKey opened;
  platform::Win32Error error =
      platform::RegOpenKeyExW(root, key, platform::kKeyQueryValue | view, &opened);
  if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) {
    return ValueRead::kAbsent;
  }
  if (error != platform::kErrorSuccess) return ValueRead::kFailed;
  return ReadRegistryStringInView(root, key, nullptr, value, view) ? ValueRead::kRead
                                                                   : ValueRead::kFailed;
}

// Calls visit for every present class path in both views and both roots, until visit returns
// false. A value that cannot be read sets *failed, and ends the walk when stop_on_failure is set.
template <typename Visit>
void ForEachClassPath(const Visit& visit, bool* failed, bool stop_on_failure) {
  for (std::uint32_t view : kViews) {
    for (RegistryRoot root : kRoots) {
      for (const LegacyComClassPath& row : kLegacyRows) {
        std::wstring value;
        switch (ReadClassPath(root, row.value_key, view, &value)) {
          case ValueRead::kAbsent:
            break;
          case ValueRead::kFailed:
            *failed = true;
            if (stop_on_failure) return;
            break;
          case ValueRead::kRead:
            if (!visit(root, view, row, value)) return;
            break;
        }
      }
    }
  }
}

bool IsReparsePointOrMissing(const Path& path, bool* missing) {
  platform::FileStatus status;
  platform::Win32Error error = platform::GetFileStatus(path, &status);
  *missing = error != platform::kErrorSuccess;
  return !*missing && (status.attributes & platform::kAttributeReparsePoint) != 0;
}

// The path as the file system resolves it: its lexical comparison form, once no existing
// component on its way is a link. False when one is, or a component cannot be examined.
bool ResolvedForm(const Path& path, std::wstring* resolved) {
  Path full = LexicallyNormal(path);
  for (Path walk = full;; walk = ParentPath(walk)) {
    bool missing = false;
    if (IsReparsePointOrMissing(walk, &missing)) return false;
    if (ParentPath(walk) == walk) break;
  }
  *resolved = PathKey(full);
  return true;
}

bool IsPlainDirectory(const Path& path) {
  platform::FileStatus status;
  return platform::GetFileStatus(path, &status) == platform::kErrorSuccess &&
         (status.attributes & platform::kAttributeDirectory) &&
         !(status.attributes & platform::kAttributeReparsePoint);
}

bool IsPlainFile(const Path& path) {
  platform::FileStatus status;
  return platform::GetFileStatus(path, &status) == platform::kErrorSuccess &&
         !(status.attributes & (platform::kAttributeDirectory | platform::kAttributeReparsePoint));
}

bool Apart(const std::wstring& a, const std::wstring& b) {
  return a != b && !IsPathInside(a, b) && !IsPathInside(b, a);
}

bool HasForeignRootName(const Path& root) {
  for (const wchar_t* name : kForeignRootNames) {
    if (EqualsIgnoringCase(LastComponent(root), name)) return true;
  }
  return false;
}

}  // namespace

const LegacyComClassPath (&LegacyComClassPaths())[6] { return kLegacyRows; }

bool LegacyValueMatches(const std::wstring& value, const Path& directory,
                        const LegacyComClassPath& row) {
  if (!row.file) return PathKey(value) == PathKey(directory);
  std::wstring expected = JoinPath(directory, row.file);
  if (row.quoted) expected = QuoteArgument(expected);
  if (EqualsIgnoringCase(value, expected)) return true;
  return row.quoted && value.size() > expected.size() &&
         EqualsIgnoringCase(value.substr(0, expected.size()), expected) &&
         EqualsIgnoringCase(value.substr(expected.size()), L" -Embedding");
}

bool ValuePointsIntoDirectory(const std::wstring& value, const Path& directory) {
  std::wstring path = value;
  if (!value.empty() && value[0] == L'"') {
    std::size_t end = value.find(L'"', 1);
    if (end == std::wstring::npos) return false;
    path = value.substr(1, end - 1);
  }
  return IsAbsolutePath(path) &&
         (PathKey(path) == PathKey(directory) || IsPathInside(path, directory));
}

bool ForeignRootIsSafe(const Path& root, const Path& install_dir) {
  if (!IsAbsolutePath(root) || !HasForeignRootName(root) ||
      !Apart(PathKey(root), PathKey(install_dir))) {
    return false;
  }
  std::wstring resolved_root;
  std::wstring resolved_install;
  if (!ResolvedForm(root, &resolved_root) || !ResolvedForm(install_dir, &resolved_install) ||
      !Apart(resolved_root, resolved_install)) {
    return false;
  }
  if (!IsPlainDirectory(root) || !OnlyAdministratorsMayModify(root)) return false;
  for (const wchar_t* binary : kForeignBinaries) {
    const Path file = JoinPath(root, binary);
    std::wstring resolved_file;
    if (!IsPlainFile(file) || !ResolvedForm(file, &resolved_file) ||
        !IsPathInside(resolved_file, resolved_root) || !OnlyAdministratorsMayModify(file)) {
      return false;
    }
  }
  return true;
}

bool FindForeignComOwnerRoot(const Path& install_dir, Path* root) {
  root->clear();
  for (const wchar_t* name : kForeignRootNames) {
    const std::wstring key = std::wstring(L"SOFTWARE\\") + name;
    for (std::uint32_t view : kViews) {
      platform::RegistryKey opened;
      if (platform::RegOpenKeyExW(RegistryRoot::kLocalMachine, key,
                                  platform::kKeyQueryValue | view,
                                  &opened) != platform::kErrorSuccess) {
        continue;
      }
      std::wstring registered;
      if (!ReadRegistryStringInView(RegistryRoot::kLocalMachine, key.c_str(), L"InstallDir",
                                    &registered, view)) {
        return false;
      }
      while (registered.size() > 3 && (registered.back() == L'\\' || registered.back() == L'/')) {
        registered.pop_back();
      }
      if (!ForeignRootIsSafe(registered, install_dir) ||
          !EqualsIgnoringCase(LastComponent(registered), name)) {
        return false;
      }
      *root = registered;
      return true;
    }
  }
  return true;
}

bool MigrateLegacyComRegistration(const Path& install_dir,
                                  const ForeignComRegistration& register_foreign,
                                  std::string* message) {
  // 1. Inspection: nothing is changed before every refusal had its chance.
  struct ForeignEntry {
    const LegacyComClassPath* row;
    std::wstring value;
  };
  std::vector<ForeignEntry> foreign;
  bool product_path = false;
  bool incomplete = false;
  bool unexpected = false;
  ForEachClassPath(
      [&](RegistryRoot, std::uint32_t, const LegacyComClassPath& row, const std::wstring& value) {
        if (LegacyValueMatches(value, install_dir, row)) {
          product_path = true;
        } else if (ValuePointsIntoDirectory(value, install_dir)) {
          unexpected = true;
          return false;
        } else {
          foreign.push_back({&row, value});
        }
        return true;
      },
      &incomplete, false);
  if (unexpected) {
    *message = "Legacy COM migration refused: a Vellmora COM path is not the expected legacy value.";
    return false;
  }
  if (!product_path) {
    *message = "No legacy Vellmora COM paths are registered.";
    return true;
  }
  if (incomplete) {
    *message =
        "Legacy COM migration refused: a shared COM registration could not be inspected "
        "completely.";
    return false;
  }

  Path root;
  if (!FindForeignComOwnerRoot(install_dir, &root)) {
    if (!foreign.empty()) {
      *message =
          "Legacy COM migration refused: another COM owner is present but its KTA/Pellucador "
          "install root is incomplete or unsafe.";
      return false;
    }
    root.clear();
  }
  for (const ForeignEntry& entry : foreign) {
    if (root.empty() || !LegacyValueMatches(entry.value, root, *entry.row)) {
      *message = "Legacy COM migration refused: a mixed or unexpected COM owner was found.";
      return false;
    }
  }
  if (!root.empty()) {
    if (AnyNamedProcessUnder(root, SharedComOwnerNames(), 0)) {
      *message =
          "Close KTA/Pellucador before migrating its shared COM registration; no foreign process "
          "was stopped.";
      return false;
    }
    if (!register_foreign(root)) {
      *message =
          "Legacy COM migration failed: the original Pellucador/KTA COM server could not be "
          "registered.";
      return false;
    }
  }

  // 7. Removal of what still points into the install directory.
  bool changed = false;  // a class path became unreadable since the inspection
  bool not_removed = false;
  ForEachClassPath(
      [&](RegistryRoot key_root, std::uint32_t view, const LegacyComClassPath& row,
          const std::wstring& value) {
        if (!LegacyValueMatches(value, install_dir, row)) return true;
        platform::Win32Error result = DeleteRegistryTreeInView(key_root, row.key_to_delete, view);
        if (result != platform::kErrorSuccess && result != platform::kErrorFileNotFound) {
          not_removed = true;
          return false;
        }
        return true;
      },
      &changed, true);
  if (changed) {
    *message = "Legacy COM migration failed: a COM registration changed during cleanup.";
    return false;
  }
  if (not_removed) {
    *message = "Legacy COM migration failed: a Vellmora-owned COM key could not be removed.";
    return false;
  }

  // 8. Verification: what is left belongs to the foreign root.
  bool unverifiable = false;
  bool leftover = false;
  ForEachClassPath(
      [&](RegistryRoot, std::uint32_t, const LegacyComClassPath& row, const std::wstring& value) {
        if (root.empty() || !LegacyValueMatches(value, root, row)) {
          leftover = true;
          return false;
        }
        return true;
      },
      &unverifiable, true);
  if (unverifiable) {
    *message = "Legacy COM migration failed: a COM registration could not be verified after cleanup.";
    return false;
  }
  if (leftover) {
    *message =
        "Legacy COM migration failed: a legacy class path still belongs to Vellmora or an "
        "unexpected owner.";
    return false;
  }
  *message = root.empty()
                 ? "Removed only Vellmora-owned legacy COM class paths; shared interfaces were "
                   "preserved. Repair KTA/Pellucador separately if its InstallDir is stale."
                 : "Restored the original Pellucador/KTA COM server and removed Vellmora-owned "
                   "legacy overrides.";
  return true;
}

}  // namespace vellmora
