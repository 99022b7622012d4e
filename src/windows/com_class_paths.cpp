#include "windows/com_class_paths.h"

#include "app/path_helpers.h"
#include "app/text.h"

namespace vellmora {

std::vector<ComClassPath> ComClassPaths(const Path& directory) {
  const std::wstring client_key = std::wstring(L"CLSID\\") + kPrivateClientClsid + L"\\InprocServer32";
  const std::wstring session_key =
      std::wstring(L"CLSID\\") + kPrivateSessionClsid + L"\\InprocServer32";
  // The proxy/stub class's key is spelled with a capital P, as its own registration spells it.
  const std::wstring proxy_key = std::wstring(L"CLSID\\") + kPrivateProxyClsid + L"\\InProcServer32";
  const std::wstring type_lib = std::wstring(L"TypeLib\\") + kPrivateTypeLib + L"\\1.3";
  const Path client = JoinPath(directory, kClientLibraryFile);
  const Path proxy = JoinPath(directory, kProxyLibraryFile);
  return {
      {client_key, nullptr, client},
      {client_key, L"ThreadingModel", L"Free"},
      {session_key, nullptr, client},
      {session_key, L"ThreadingModel", L"Free"},
      {proxy_key, nullptr, proxy},
      {proxy_key, L"ThreadingModel", L"Both"},
      {std::wstring(L"CLSID\\") + kPrivateServerClsid + L"\\LocalServer32", nullptr,
       QuoteArgument(JoinPath(directory, kPrivateServerFile))},
      {type_lib + L"\\0\\win64", nullptr, proxy},
      {type_lib + L"\\HELPDIR", nullptr, directory},
  };
}

bool WriteComClassPaths(RegistryRoot root, const Path& directory) {
  for (const ComClassPath& row : ComClassPaths(directory)) {
    const std::wstring key = kClassesKeyPrefix + row.key;
    if (!WriteRegistryString(root, key.c_str(), row.value, row.data)) return false;
  }
  return true;
}

bool CheckPerUserComOverrides(const Path& directory) {
  const std::vector<ComClassPath> rows = ComClassPaths(directory);
  for (std::size_t row : {kServerPathRow, kClientPathRow, kSessionPathRow, kProxyPathRow,
                          kTypeLibPathRow}) {
    const std::wstring key = kClassesKeyPrefix + rows[row].key;
    if (!RegistryKeyAbsentOrStringEquals(RegistryRoot::kCurrentUser, key.c_str(), nullptr,
                                         rows[row].data)) {
      return false;
    }
  }
  return true;
}

}  // namespace vellmora
