#include "self_registration.h"

#include <vector>

#include "standins/com_registration_block.h"

namespace standins {
namespace {

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return {};
  int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string Failure(const char* what, const std::string& key, LONG code) {
  return std::string(what) + " " + key + " (Windows error " + std::to_string(code) + ")";
}

class ClassesRoot : public RegistrationTarget {
 public:
  bool SetString(const std::string& key, const std::string& value_name, const std::string& data,
                 std::string* error) override {
    HKEY handle = nullptr;
    LONG code = RegCreateKeyExW(HKEY_CLASSES_ROOT, FromUtf8(key).c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &handle, nullptr);
    if (code != ERROR_SUCCESS) {
      *error = Failure("cannot create", key, code);
      return false;
    }
    std::wstring name = FromUtf8(value_name);
    std::wstring wide = FromUtf8(data);
    code = RegSetValueExW(handle, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    if (code != ERROR_SUCCESS) *error = Failure("cannot set a value of", key, code);
    return code == ERROR_SUCCESS;
  }
  bool DeleteTree(const std::string& key, std::string* error) override {
    LONG code = RegDeleteTreeW(HKEY_CLASSES_ROOT, FromUtf8(key).c_str());
    if (code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
      return true;
    *error = Failure("cannot delete", key, code);
    return false;
  }
};

bool ReadFileBytes(const std::wstring& path, std::string* bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool read = GetFileSizeEx(file, &size) != 0 && size.QuadPart < (256ll << 20);
  if (read) {
    bytes->resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    read = ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) != 0 &&
           got == bytes->size();
  }
  CloseHandle(file);
  return read;
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

std::wstring ModulePath(HMODULE module) {
  std::vector<wchar_t> buffer(32768);
  DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::wstring(buffer.data(), length);
}

HRESULT RegisterModule(HMODULE module, bool install, std::string* error) {
  const std::wstring path = ModulePath(module);
  std::string image;
  if (path.empty() || !ReadFileBytes(path, &image)) {
    *error = "cannot read the module's own file";
    return E_FAIL;
  }
  ClassesRoot registry;
  bool done = install ? RegisterFromImage(image, ToUtf8(path), &registry, error)
                      : UnregisterFromImage(image, &registry, error);
  return done ? S_OK : E_FAIL;
}

}  // namespace standins
