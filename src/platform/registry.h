#pragma once
// The registry, as Advapi32 has it. HKEY_LOCAL_MACHINE has two views: KEY_WOW64_64KEY (the
// native one, also what no view flag gives a 64-bit process) and KEY_WOW64_32KEY, where
// SOFTWARE is redirected to SOFTWARE\WOW6432Node. HKEY_CURRENT_USER is one tree. Key and value
// names compare case-insensitively and keep the case they were created with.
// HKEY_CLASSES_ROOT is the merged view of HKCU\Software\Classes over HKLM\SOFTWARE\Classes: a
// key that exists for the user is read from there, any other from the machine, and a key's
// sub-keys are those of both; a new key is created under the machine's classes.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

enum class RegistryRoot { kLocalMachine, kCurrentUser, kClassesRoot };

// Access rights and view flags (REGSAM).
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyNotify = 0x0010;
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;
inline constexpr std::uint32_t kDelete = 0x00010000;
inline constexpr std::uint32_t kReadControl = 0x00020000;
inline constexpr std::uint32_t kKeyRead = 0x00020019;
inline constexpr std::uint32_t kKeyWrite = 0x00020006;

// Value types (REG_*).
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// An open registry key (HKEY); closed (RegCloseKey) when it goes out of scope.
struct RegistryKeyKind;
using RegistryKey = OwnedHandle<RegistryKeyKind>;
template <>
void OwnedHandle<RegistryKeyKind>::Close();  // RegCloseKey

// RegCreateKeyExW with no class, REG_OPTION_NON_VOLATILE and default security: opens the key,
// creating it and any missing parents. sub_key has no leading backslash.
Win32Error RegCreateKeyExW(RegistryRoot root, const std::wstring& sub_key, std::uint32_t access,
                           RegistryKey* key);
// RegOpenKeyExW: kErrorFileNotFound when the key does not exist.
Win32Error RegOpenKeyExW(RegistryRoot root, const std::wstring& sub_key, std::uint32_t access,
                         RegistryKey* key);
// RegSetValueExW: value_name null (or empty) is the key's default value. data is stored as given;
// strings are UTF-16LE with their terminating zero counted in size.
Win32Error RegSetValueExW(const RegistryKey& key, const wchar_t* value_name, std::uint32_t type,
                          const std::uint8_t* data, std::uint32_t size);
// RegQueryValueExW: with data null only *type and *size are reported; a buffer smaller than the
// value gives kErrorMoreData and the needed size. kErrorFileNotFound for a missing value.
Win32Error RegQueryValueExW(const RegistryKey& key, const wchar_t* value_name, std::uint32_t* type,
                            std::uint8_t* data, std::uint32_t* size);
Win32Error RegDeleteValueW(const RegistryKey& key, const wchar_t* value_name);
// RegEnumValueW: the name and type of the key's value at index (0-based; values come in the
// order they were first created); kErrorNoMoreItems past the last one. The key needs
// kKeyQueryValue.
Win32Error RegEnumValueW(const RegistryKey& key, std::uint32_t index, std::wstring* value_name,
                         std::uint32_t* type);
// RegQueryInfoKeyW: how many sub-keys the key has and the length of the longest sub-key name
// (characters, without a terminating zero). The key needs kKeyQueryValue.
Win32Error RegQueryInfoKeyW(const RegistryKey& key, std::uint32_t* sub_key_count,
                            std::uint32_t* max_sub_key_length);
// RegEnumKeyExW: the name of the key's sub-key at index (0-based, in the registry's order, which
// is alphabetical ignoring case), read into a buffer of buffer_length characters including the
// terminating zero: kErrorMoreData when the name does not fit, kErrorNoMoreItems past the last
// one. The key needs kKeyEnumerateSubKeys.
Win32Error RegEnumKeyExW(const RegistryKey& key, std::uint32_t index, std::uint32_t buffer_length,
                         std::wstring* name);
// RegDeleteTreeW of the sub-key named sub_key below key, with all its values and sub-keys.
Win32Error RegDeleteTreeW(const RegistryKey& key, const std::wstring& sub_key);

}  // namespace platform
