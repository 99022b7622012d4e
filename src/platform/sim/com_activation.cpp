// COM on the simulated machine resolves an activation as COM would from the registry, without
// starting anything: the class's LocalServer32 under HKEY_CLASSES_ROOT (the merged view, so a
// per-user key wins), the server's file, the interface's ProxyStubClsid32 and that proxy class's
// in-process server file. Whatever COM would fail on first decides the HRESULT. The server is not
// run, so a server that starts but never serves its class is only caught on Windows.

#include <atomic>
#include <cstdio>

#include "platform/com_activation.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace platform {
namespace {

struct ThreadCom {
  int initialisations = 0;
  std::uint32_t model = kCoinitMultithreaded;
};
thread_local ThreadCom thread_com;

std::atomic<std::intptr_t> next_interface{1};

std::wstring GuidText(const Guid& guid) {
  wchar_t text[40];
  std::swprintf(text, 40, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.data1,
                guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2],
                guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
  return text;
}

bool ReadDefaultValue(const std::wstring& key_path, std::wstring* value) {
  RegistryKey key;
  if (RegOpenKeyExW(RegistryRoot::kClassesRoot, key_path, kKeyQueryValue | kKeyWow64_64Key,
                    &key) != kErrorSuccess) {
    return false;
  }
  std::uint32_t type = 0;
  std::uint8_t data[2048] = {};
  std::uint32_t size = sizeof data - 2;
  if (RegQueryValueExW(key, nullptr, &type, data, &size) != kErrorSuccess ||
      (type != kRegSz && type != kRegExpandSz)) {
    return false;
  }
  value->clear();
  for (std::uint32_t i = 0; i + 1 < size; i += 2) {
    wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    *value += c;
  }
  return !value->empty();
}

// The program of a command line: the quoted text, or everything up to the first blank.
std::wstring ProgramOf(const std::wstring& command) {
  if (!command.empty() && command[0] == L'"') {
    std::size_t end = command.find(L'"', 1);
    return end == std::wstring::npos ? std::wstring() : command.substr(1, end - 1);
  }
  return command.substr(0, command.find(L' '));
}

bool IsRegularFile(const std::wstring& path) {
  std::uint32_t attributes = GetFileAttributesW(path);
  return attributes != kInvalidFileAttributes && !(attributes & kAttributeDirectory);
}

bool IsIUnknown(const Guid& iid) {
  static const std::uint8_t kTail[8] = {0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  for (int i = 0; i < 8; ++i) {
    if (iid.data4[i] != kTail[i]) return false;
  }
  return iid.data1 == 0 && iid.data2 == 0 && iid.data3 == 0;
}

}  // namespace

template <>
void OwnedHandle<ComInterfaceKind>::Close() {
  handle_ = 0;
}

HResult CoInitializeEx(std::uint32_t coinit) {
  if (thread_com.initialisations > 0) {
    if (thread_com.model != coinit) return kRpcEChangedMode;
    ++thread_com.initialisations;
    return kSFalse;
  }
  thread_com.initialisations = 1;
  thread_com.model = coinit;
  return kSOk;
}

void CoUninitialize() {
  if (thread_com.initialisations > 0) --thread_com.initialisations;
}

HResult CoCreateInstance(const Guid& clsid, std::uint32_t context, const Guid& iid,
                         ComInterface* object) {
  if (thread_com.initialisations == 0) return kCoENotInitialized;
  if (!object) return kEInvalidArg;
  if (!(context & kClsctxLocalServer)) return kRegdbEClassNotReg;
  std::wstring server_command;
  if (!ReadDefaultValue(L"CLSID\\" + GuidText(clsid) + L"\\LocalServer32", &server_command)) {
    return kRegdbEClassNotReg;
  }
  if (!IsRegularFile(ProgramOf(server_command))) return kFileNotFoundHResult;
  if (!IsIUnknown(iid)) {
    std::wstring proxy;
    std::wstring proxy_library;
    if (!ReadDefaultValue(L"Interface\\" + GuidText(iid) + L"\\ProxyStubClsid32", &proxy) ||
        !ReadDefaultValue(L"CLSID\\" + proxy + L"\\InprocServer32", &proxy_library) ||
        !IsRegularFile(ProgramOf(proxy_library))) {
      return kENoInterface;
    }
  }
  object->Adopt(next_interface++);
  return kSOk;
}

}  // namespace platform
