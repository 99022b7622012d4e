#pragma once
// Every registry access of the installer goes through these helpers. HKEY_LOCAL_MACHINE is always
// used with the 64-bit view (kKeyWow64_64Key as the view mask) and HKEY_CURRENT_USER with none.
// Failed writes and deletes leave one "REGISTRY FAILURE: " line in the installation log; reads
// report by their result only. A null value name is the key's default value.

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace vellmora {

using platform::RegistryRoot;

inline constexpr std::uint32_t kView64 = platform::kKeyWow64_64Key;
inline constexpr std::uint32_t kDefaultView = 0;

bool WriteRegistryString(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                         const std::wstring& text, std::uint32_t view);
bool WriteRegistryDword(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                        std::uint32_t value, std::uint32_t view);
// True when the value does not exist afterwards, also when the key or value never existed.
bool DeleteRegistryValue(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                         std::uint32_t view);
// True only for a non-empty REG_SZ or REG_EXPAND_SZ (returned unexpanded); *out is assigned only
// on success.
bool ReadRegistryString(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                        std::wstring* out, std::uint32_t view);
// True only for a 4-byte REG_DWORD.
bool ReadRegistryDword(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                       std::uint32_t* out, std::uint32_t view);
// A Win32 error: 0 on success, 2 when the key or its parent does not exist, 87 for a path that
// has no parent part or ends in a backslash; callers treat 0 and 2 as success.
platform::Win32Error DeleteRegistryTree(RegistryRoot root, const std::wstring& key_path,
                                        std::uint32_t view);
// The stored string equals expected, ignoring letter case.
bool RegistryStringEquals(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                          const std::wstring& expected, std::uint32_t view);
// True when the key cannot be opened for reading; otherwise RegistryStringEquals.
bool RegistryKeyAbsentOrStringEquals(RegistryRoot root, const wchar_t* sub_key,
                                     const wchar_t* value_name, const std::wstring& expected,
                                     std::uint32_t view);

}  // namespace vellmora
