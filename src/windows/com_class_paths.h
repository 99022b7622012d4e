#pragma once
// The product's private COM identities as the registry names them, and the class paths the
// installer itself writes for them under HKLM\SOFTWARE\Classes: the client and session classes
// in "KolvC.dll", the proxy/stub class in "KolvProxyStub.dll", the server class in "VLMServ.exe"
// and the type library. Everything else of the registration (interfaces, ProgIDs, application
// ids) is written by the binaries' own self-registration.

#include <string>
#include <vector>

#include "app/registry_access.h"
#include "platform/types.h"

namespace vellmora {

using platform::Path;

inline constexpr const wchar_t* kPrivateServerClsid = L"{8DC0F64F-6C11-4311-92B8-AB864871824C}";
inline constexpr const wchar_t* kPrivateClientClsid = L"{D23370EB-3AE6-4B86-A99A-561C6BEFC5C9}";
inline constexpr const wchar_t* kPrivateSessionClsid = L"{D12AA60A-B777-4944-96B8-2655537022A7}";
inline constexpr const wchar_t* kPrivateProxyClsid = L"{D0D7C6D8-8DA0-4E37-9459-D8E25B8C727C}";
inline constexpr const wchar_t* kPrivateTypeLib = L"{2673AC5A-DF3A-4EF6-9B7D-1D8E4F762EDA}";
inline constexpr const wchar_t* kPrivateAppId = L"{5BFE032C-2A3C-49FA-BA49-FF5BE5A2EFEB}";
inline constexpr const wchar_t* kPrivateIVirtualBoxClient =
    L"{64FBF4FF-8562-4586-B840-1B8EF51EB4D9}";
inline constexpr const wchar_t* kPrivateIVirtualBox = L"{C9C001B8-A7E9-4EA0-8290-342A2DD74B78}";
inline constexpr const wchar_t* kPrivateISession = L"{AB6A32A6-A92D-4605-8788-4385FF21AFE0}";
// How many interfaces the Engine's proxy serves.
inline constexpr std::size_t kComProxyInterfaceCount = 224;

inline constexpr const wchar_t* kPrivateServerFile = L"VLMServ.exe";
inline constexpr const wchar_t* kClientLibraryFile = L"KolvC.dll";
inline constexpr const wchar_t* kProxyLibraryFile = L"KolvProxyStub.dll";

// Where HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER keep the classes HKEY_CLASSES_ROOT merges.
inline constexpr const wchar_t* kClassesKeyPrefix = L"SOFTWARE\\Classes\\";

// "ComIdentityVersion" in the product key: 4 once the registration was complete and verified.
inline constexpr const wchar_t* kComIdentityVersionValue = L"ComIdentityVersion";
inline constexpr std::uint32_t kComIdentityVersion = 4;

struct ComClassPath {
  std::wstring key;          // below SOFTWARE\Classes\ (or HKEY_CLASSES_ROOT)
  const wchar_t* value;      // null: the key's default value
  std::wstring data;
};

// The nine class paths for binaries in directory, in the order they are written:
// client path and threading model, session path and model, proxy path and model, server path,
// type library path and help directory.
std::vector<ComClassPath> ComClassPaths(const Path& directory);
// Indexes into ComClassPaths.
inline constexpr std::size_t kClientPathRow = 0;
inline constexpr std::size_t kSessionPathRow = 2;
inline constexpr std::size_t kProxyPathRow = 4;
inline constexpr std::size_t kServerPathRow = 6;
inline constexpr std::size_t kTypeLibPathRow = 7;
inline constexpr std::size_t kTypeLibHelpDirRow = 8;

// Writes the class paths in order under root's SOFTWARE\Classes; stops at the first refused write.
bool WriteComClassPaths(RegistryRoot root, const Path& directory);
// True when no per-user class key contradicts the class paths: for the server, client, session,
// proxy and type library paths, the HKCU key is absent or holds the same text (ignoring case).
bool CheckPerUserComOverrides(const Path& directory);

}  // namespace vellmora
