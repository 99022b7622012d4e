#include "windows/com_registration_validation.h"

#include <functional>

#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/text.h"
#include "platform/files.h"
#include "windows/com_activation_test.h"
#include "windows/com_class_paths.h"

namespace vellmora {
namespace {

using TextMatch = std::function<bool(const std::wstring& stored, const std::wstring& expected)>;

bool SameText(const std::wstring& stored, const std::wstring& expected) {
  return EqualsIgnoringCase(stored, expected);
}

// A directory written with or without a trailing backslash is the same directory.
bool SamePath(const std::wstring& stored, const std::wstring& expected) {
  return PathKey(stored) == PathKey(expected);
}

bool ReadsAs(RegistryRoot root, const std::wstring& key, const wchar_t* value,
             const std::wstring& expected, const TextMatch& match) {
  std::wstring stored;
  return ReadRegistryString(root, key.c_str(), value, &stored) && match(stored, expected);
}

bool KeyAbsent(RegistryRoot root, const std::wstring& key) {
  platform::RegistryKey opened;
  return platform::RegOpenKeyExW(root, key, platform::kKeyQueryValue | ViewMaskOf(root),
                                 &opened) != platform::kErrorSuccess;
}

// The machine's value, the user's (absent or equal) and what the merged view shows.
bool RegistryRowHolds(const std::wstring& key, const wchar_t* value, const std::wstring& expected,
                      const TextMatch& match = SameText) {
  const std::wstring machine_key = kClassesKeyPrefix + key;
  const bool machine = ReadsAs(RegistryRoot::kLocalMachine, machine_key, value, expected, match);
  const bool user = KeyAbsent(RegistryRoot::kCurrentUser, machine_key) ||
                    ReadsAs(RegistryRoot::kCurrentUser, machine_key, value, expected, match);
  const bool merged = ReadsAs(RegistryRoot::kClassesRoot, key, value, expected, match);
  return machine && user && merged;
}

bool IsRegularFile(const Path& path) {
  platform::FileStatus status;
  return platform::GetFileStatus(path, &status) == platform::kErrorSuccess &&
         (status.attributes &
          (platform::kAttributeDirectory | platform::kAttributeReparsePoint)) == 0;
}

std::wstring ProxyStubKeyOf(const wchar_t* iid) {
  return std::wstring(L"Interface\\") + iid + L"\\ProxyStubClsid32";
}

}  // namespace

bool ListInterfacesWithPrivateProxy(RegistryRoot root, std::uint32_t view,
                                    std::vector<std::wstring>* keys) {
  keys->clear();
  const std::wstring base =
      root == RegistryRoot::kClassesRoot ? L"Interface" : L"SOFTWARE\\Classes\\Interface";
  platform::RegistryKey interfaces;
  platform::Win32Error error = platform::RegOpenKeyExW(
      root, base, platform::kKeyQueryValue | platform::kKeyEnumerateSubKeys | view, &interfaces);
  if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) return true;
  if (error != platform::kErrorSuccess) return false;
  std::uint32_t count = 0;
  std::uint32_t longest = 0;
  if (platform::RegQueryInfoKeyW(interfaces, &count, &longest) != platform::kErrorSuccess) {
    return false;
  }
  std::vector<std::wstring> names;
  for (std::uint32_t index = 0;; ++index) {
    std::wstring name;
    error = platform::RegEnumKeyExW(interfaces, index, longest + 2, &name);
    if (error == platform::kErrorNoMoreItems) break;
    if (error != platform::kErrorSuccess) return false;
    names.push_back(std::move(name));
  }
  interfaces.Close();
  for (const std::wstring& name : names) {
    const std::wstring key = base + L"\\" + name;
    if (RegistryStringEqualsInView(root, (key + L"\\ProxyStubClsid32").c_str(), nullptr,
                                   kPrivateProxyClsid, view)) {
      keys->push_back(key);
    }
  }
  return true;
}

bool ValidateComRegistration(InstallerEngine& engine, const Path& directory,
                             std::size_t minimum_interfaces) {
  const std::vector<ComClassPath> paths = ComClassPaths(directory);
  auto row = [&](std::size_t index, const TextMatch& match = SameText) {
    return RegistryRowHolds(paths[index].key, paths[index].value, paths[index].data, match);
  };
  auto proxied = [](const wchar_t* iid) {
    return RegistryRowHolds(ProxyStubKeyOf(iid), nullptr, kPrivateProxyClsid);
  };
  auto complete_interface_set = [&] {
    std::vector<std::wstring> keys;
    return ListInterfacesWithPrivateProxy(RegistryRoot::kClassesRoot, platform::kKeyWow64_64Key,
                                          &keys) &&
           keys.size() >= minimum_interfaces;
  };
  const std::pair<const char*, bool> checks[] = {
      {"VLMServ.exe file", IsRegularFile(JoinPath(directory, kPrivateServerFile))},
      {"KolvC.dll file", IsRegularFile(JoinPath(directory, kClientLibraryFile))},
      {"KolvProxyStub.dll file", IsRegularFile(JoinPath(directory, kProxyLibraryFile))},
      {"VLMServ LocalServer32 path", row(kServerPathRow)},
      {"KolvC client path", row(kClientPathRow)},
      {"KolvC client threading model", row(kClientPathRow + 1)},
      {"KolvC session path", row(kSessionPathRow)},
      {"KolvC session threading model", row(kSessionPathRow + 1)},
      {"KolvProxyStub path", row(kProxyPathRow)},
      {"KolvProxyStub threading model", row(kProxyPathRow + 1)},
      {"VirtualBox type library path", row(kTypeLibPathRow)},
      {"VirtualBox type library help path", row(kTypeLibHelpDirRow, SamePath)},
      {"IVirtualBoxClient", proxied(kPrivateIVirtualBoxClient)},
      {"IVirtualBox", proxied(kPrivateIVirtualBox)},
      {"ISession", proxied(kPrivateISession)},
      {"complete VirtualBox proxy interface set", complete_interface_set()},
  };
  bool valid = true;
  for (const auto& [label, passed] : checks) {
    if (passed) continue;
    ReportLog(engine, std::string("COM validation failed: ") + label + ".");
    valid = false;
  }
  return valid;
}

bool VerifyComRegistration(InstallerEngine& engine) {
  return ValidateComRegistration(engine, engine.paths.InstallDir(), kComProxyInterfaceCount) &&
         TestPrivateComActivation(engine);
}

}  // namespace vellmora
