#include "windows/private_com_removal.h"

#include <algorithm>

#include "app/installer_engine.h"
#include "app/progress_report.h"
#include "app/text.h"
#include "windows/com_class_paths.h"
#include "windows/com_registration_validation.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kViews[] = {platform::kKeyWow64_64Key, platform::kKeyWow64_32Key};
constexpr RegistryRoot kRoots[] = {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser};

bool TreeDeleted(platform::Win32Error result) {
  return result == platform::kErrorSuccess || result == platform::kErrorFileNotFound;
}

// Opens key for reading: kErrorSuccess, or why not.
platform::Win32Error OpenForRead(RegistryRoot root, const std::wstring& key, std::uint32_t view) {
  platform::RegistryKey opened;
  return platform::RegOpenKeyExW(root, key, platform::kKeyQueryValue | view, &opened);
}

bool IsMissing(platform::Win32Error error) {
  return error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
}

std::wstring Classes(const std::wstring& key) { return kClassesKeyPrefix + key; }

struct PrivateProgId {
  const wchar_t* name;
  const wchar_t* clsid;
};
constexpr PrivateProgId kPrivateProgIds[] = {
    {L"VellmoraVM.VellmoraVM", kPrivateServerClsid},
    {L"VellmoraVM.VellmoraVM.1", kPrivateServerClsid},
    {L"VellmoraVM.VellmoraVMClient", kPrivateClientClsid},
    {L"VellmoraVM.VellmoraVMClient.1", kPrivateClientClsid},
    {L"VellmoraVM.Session", kPrivateSessionClsid},
    {L"VellmoraVM.Session.1", kPrivateSessionClsid},
};

// Which private classes this root holds for this install directory.
struct Ownership {
  bool server = false;
  bool client = false;
  bool session = false;
  bool proxy = false;

  bool OfClass(const std::wstring& clsid) const {
    if (clsid == kPrivateServerClsid) return server;
    if (clsid == kPrivateClientClsid) return client;
    return session;
  }
};

bool RemoveFromRoot(RegistryRoot root, std::uint32_t view, const Path& install_dir,
                    const std::vector<std::wstring>& interface_keys) {
  const std::vector<ComClassPath> paths = ComClassPaths(install_dir);
  auto holds = [&](std::size_t row) {
    return RegistryStringEqualsInView(root, Classes(paths[row].key).c_str(), nullptr,
                                      paths[row].data, view);
  };
  const Ownership owned{holds(kServerPathRow), holds(kClientPathRow), holds(kSessionPathRow),
                        holds(kProxyPathRow)};
  bool removed = true;

  std::vector<std::wstring> listed;
  const bool listing = ListInterfacesWithPrivateProxy(root, view, &listed);
  if (owned.proxy) {
    removed = DeleteInterfacesWithPrivateProxy(root, view) && removed;
    for (std::wstring key : interface_keys) {
      if (!StartsWithIgnoringAsciiCase(key, kClassesKeyPrefix)) key = Classes(key);
      if (RegistryStringEqualsInView(root, (key + L"\\ProxyStubClsid32").c_str(), nullptr,
                                     kPrivateProxyClsid, view)) {
        removed = TreeDeleted(DeleteRegistryTreeInView(root, key, view)) && removed;
      }
    }
  } else if (!listing || !listed.empty()) {
    removed = false;
  }

  // Each class key goes only with the value that proves it ours; the type library by its path.
  const std::pair<std::size_t, std::wstring> class_keys[] = {
      {kServerPathRow, std::wstring(L"CLSID\\") + kPrivateServerClsid},
      {kClientPathRow, std::wstring(L"CLSID\\") + kPrivateClientClsid},
      {kSessionPathRow, std::wstring(L"CLSID\\") + kPrivateSessionClsid},
      {kProxyPathRow, std::wstring(L"CLSID\\") + kPrivateProxyClsid},
      {kTypeLibPathRow, std::wstring(L"TypeLib\\") + kPrivateTypeLib},
  };
  for (const auto& [row, key] : class_keys) {
    removed = DeleteKeyIfValueEquals(root, Classes(key), Classes(paths[row].key), nullptr,
                                     paths[row].data, view) &&
              removed;
  }

  const std::wstring app_id_key = Classes(std::wstring(L"AppID\\") + kPrivateAppId);
  const std::wstring server_app_id_key = Classes(std::wstring(L"AppID\\") + kPrivateServerFile);
  if (owned.server) {
    bool app_ids = DeleteKeyIfValueEquals(root, app_id_key, server_app_id_key, L"AppID",
                                          kPrivateAppId, view);
    if (app_ids) {
      app_ids = DeleteKeyIfValueEquals(root, server_app_id_key, server_app_id_key, L"AppID",
                                       kPrivateAppId, view);
    }
    removed = app_ids && removed;
  } else if (!IsMissing(OpenForRead(root, app_id_key, view)) ||
             !IsMissing(OpenForRead(root, server_app_id_key, view))) {
    removed = false;
  }

  for (const PrivateProgId& prog_id : kPrivateProgIds) {
    const std::wstring key = Classes(prog_id.name);
    if (owned.OfClass(prog_id.clsid)) {
      removed = DeleteProgIdIfClsidEquals(root, key, prog_id.clsid, view) && removed;
    } else if (!IsMissing(OpenForRead(root, key, view))) {
      removed = false;
    }
  }
  return removed;
}

}  // namespace

bool DeleteKeyIfValueEquals(RegistryRoot root, const std::wstring& key_to_delete,
                            const std::wstring& value_key, const wchar_t* value_name,
                            const std::wstring& expected, std::uint32_t view) {
  if (IsMissing(OpenForRead(root, key_to_delete, view))) return true;
  return RegistryStringEqualsInView(root, value_key.c_str(), value_name, expected, view) &&
         TreeDeleted(DeleteRegistryTreeInView(root, key_to_delete, view));
}

bool DeleteProgIdIfClsidEquals(RegistryRoot root, const std::wstring& prog_id_key,
                               const std::wstring& class_guid, std::uint32_t view) {
  const platform::Win32Error opened = OpenForRead(root, prog_id_key, view);
  if (IsMissing(opened)) return true;
  if (opened != platform::kErrorSuccess) return false;
  std::wstring named;
  if (!ReadRegistryStringInView(root, (prog_id_key + L"\\CLSID").c_str(), nullptr, &named, view)) {
    return false;
  }
  if (!EqualsIgnoringCase(named, class_guid)) return true;
  return TreeDeleted(DeleteRegistryTreeInView(root, prog_id_key, view));
}

bool DeleteInterfacesWithPrivateProxy(RegistryRoot root, std::uint32_t view) {
  std::vector<std::wstring> keys;
  if (!ListInterfacesWithPrivateProxy(root, view, &keys)) return false;
  bool deleted = true;
  for (const std::wstring& key : keys) {
    deleted = TreeDeleted(DeleteRegistryTreeInView(root, key, view)) && deleted;
  }
  return deleted;
}

bool RemovePrivateComRegistration(InstallerEngine& engine,
                                  std::vector<std::wstring>* interface_keys) {
  bool removed =
      DeleteRegistryValue(RegistryRoot::kLocalMachine, kProductKey, kComIdentityVersionValue);
  for (std::uint32_t view : kViews) {
    std::vector<std::wstring> listed;
    if (!ListInterfacesWithPrivateProxy(RegistryRoot::kLocalMachine, view, &listed)) return false;
    for (const std::wstring& key : listed) {
      if (std::none_of(interface_keys->begin(), interface_keys->end(),
                       [&](const std::wstring& known) { return EqualsIgnoringCase(known, key); })) {
        interface_keys->push_back(key);
      }
    }
  }
  for (std::uint32_t view : kViews) {
    for (RegistryRoot root : kRoots) {
      removed = RemoveFromRoot(root, view, engine.paths.InstallDir(), *interface_keys) &&
                removed;
    }
  }
  if (!removed) {
    ReportLog(engine,
              "COM cleanup warning: a private key was not removed because its owner could not be "
              "confirmed.");
  }
  return removed;
}

}  // namespace vellmora
