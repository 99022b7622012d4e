#include <windows.h>

#include "platform/registry.h"

namespace platform {
namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
  }
  return HKEY_CURRENT_USER;
}

HKEY KeyOf(const RegistryKey& key) { return reinterpret_cast<HKEY>(key.Get()); }

}  // namespace

Win32Error RegCreateKeyExW(RegistryRoot root, const std::wstring& sub_key, std::uint32_t access,
                           RegistryKey* key) {
  HKEY opened = nullptr;
  LSTATUS status = ::RegCreateKeyExW(RootKey(root), sub_key.c_str(), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, access, nullptr, &opened, nullptr);
  if (status != ERROR_SUCCESS) return static_cast<Win32Error>(status);
  key->Adopt(reinterpret_cast<std::intptr_t>(opened));
  return kErrorSuccess;
}

Win32Error RegOpenKeyExW(RegistryRoot root, const std::wstring& sub_key, std::uint32_t access,
                         RegistryKey* key) {
  HKEY opened = nullptr;
  LSTATUS status = ::RegOpenKeyExW(RootKey(root), sub_key.c_str(), 0, access, &opened);
  if (status != ERROR_SUCCESS) return static_cast<Win32Error>(status);
  key->Adopt(reinterpret_cast<std::intptr_t>(opened));
  return kErrorSuccess;
}

Win32Error RegSetValueExW(const RegistryKey& key, const wchar_t* value_name, std::uint32_t type,
                          const std::uint8_t* data, std::uint32_t size) {
  return static_cast<Win32Error>(::RegSetValueExW(KeyOf(key), value_name, 0, type, data, size));
}

Win32Error RegQueryValueExW(const RegistryKey& key, const wchar_t* value_name, std::uint32_t* type,
                            std::uint8_t* data, std::uint32_t* size) {
  DWORD value_type = REG_NONE;
  DWORD value_size = size ? *size : 0;
  LSTATUS status = ::RegQueryValueExW(KeyOf(key), value_name, nullptr, &value_type, data,
                                      size ? &value_size : nullptr);
  // Windows reports the type and the needed size with ERROR_MORE_DATA as well.
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    if (type) *type = value_type;
    if (size) *size = value_size;
  }
  return static_cast<Win32Error>(status);
}

Win32Error RegDeleteValueW(const RegistryKey& key, const wchar_t* value_name) {
  return static_cast<Win32Error>(::RegDeleteValueW(KeyOf(key), value_name));
}

Win32Error RegEnumValueW(const RegistryKey& key, std::uint32_t index, std::wstring* value_name,
                         std::uint32_t* type) {
  // Value names are at most 16383 characters.
  std::wstring name(16384, L'\0');
  DWORD length = static_cast<DWORD>(name.size());
  DWORD value_type = REG_NONE;
  LSTATUS status = ::RegEnumValueW(KeyOf(key), index, name.data(), &length, nullptr, &value_type,
                                   nullptr, nullptr);
  if (status != ERROR_SUCCESS) return static_cast<Win32Error>(status);
  name.resize(length);
  if (value_name) *value_name = std::move(name);
  if (type) *type = value_type;
  return kErrorSuccess;
}

Win32Error RegQueryInfoKeyW(const RegistryKey& key, std::uint32_t* sub_key_count,
                            std::uint32_t* max_sub_key_length) {
  DWORD count = 0;
  DWORD longest = 0;
  LSTATUS status = ::RegQueryInfoKeyW(KeyOf(key), nullptr, nullptr, nullptr, &count, &longest,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return static_cast<Win32Error>(status);
  if (sub_key_count) *sub_key_count = count;
  if (max_sub_key_length) *max_sub_key_length = longest;
  return kErrorSuccess;
}

Win32Error RegEnumKeyExW(const RegistryKey& key, std::uint32_t index, std::uint32_t buffer_length,
                         std::wstring* name) {
  std::wstring buffer(buffer_length, L'\0');
  DWORD length = buffer_length;
  LSTATUS status = ::RegEnumKeyExW(KeyOf(key), index, buffer.data(), &length, nullptr, nullptr,
                                   nullptr, nullptr);
  if (status != ERROR_SUCCESS) return static_cast<Win32Error>(status);
  buffer.resize(length);
  if (name) *name = std::move(buffer);
  return kErrorSuccess;
}

Win32Error RegDeleteTreeW(const RegistryKey& key, const std::wstring& sub_key) {
  return static_cast<Win32Error>(::RegDeleteTreeW(KeyOf(key), sub_key.c_str()));
}

}  // namespace platform
