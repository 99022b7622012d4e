#pragma once
// Every registry access of the installer goes through these helpers. The view follows from the
// root, so that no caller can forget it: HKEY_LOCAL_MACHINE is always the 64-bit view (the
// installer is 64-bit, but a key created by a 32-bit tool must never be mistaken for ours) and
// HKEY_CURRENT_USER has none; HKEY_CLASSES_ROOT, read for what COM itself would see, is read in
// the 64-bit view too. The one read of HKLM's 32-bit view is a function of its own.
// Failed writes and deletes leave one "REGISTRY FAILURE: " line in the installation log; reads
// report by their result only. A null value name is the key's default value.

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace vellmora {

using platform::RegistryRoot;

// The view mask every helper adds to the access it asks for.
std::uint32_t ViewMaskOf(RegistryRoot root);

bool WriteRegistryString(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                         const std::wstring& text);
bool WriteRegistryDword(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                        std::uint32_t value);
// True when the value does not exist afterwards, also when the key or value never existed.
bool DeleteRegistryValue(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name);
// True only for a non-empty REG_SZ or REG_EXPAND_SZ (returned unexpanded); *out is assigned only
// on success.
bool ReadRegistryString(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                        std::wstring* out);
// ReadRegistryString of HKEY_LOCAL_MACHINE in the 32-bit view (SOFTWARE is WOW6432Node there),
// for the installation of a foreign edition that a 32-bit installer may have registered.
bool ReadRegistryString32BitView(const wchar_t* sub_key, const wchar_t* value_name,
                                 std::wstring* out);
// True only for a 4-byte REG_DWORD.
bool ReadRegistryDword(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                       std::uint32_t* out);
// A Win32 error: 0 on success, 2 when the key or its parent does not exist, 87 for a path that
// has no parent part or ends in a backslash; callers treat 0 and 2 as success.
platform::Win32Error DeleteRegistryTree(RegistryRoot root, const std::wstring& key_path);
// The stored string equals expected, ignoring letter case.
bool RegistryStringEquals(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                          const std::wstring& expected);
// True when the key cannot be opened for reading; otherwise RegistryStringEquals.
bool RegistryKeyAbsentOrStringEquals(RegistryRoot root, const wchar_t* sub_key,
                                     const wchar_t* value_name, const std::wstring& expected);

// The same reads and the tree deletion in an explicit view, for the few procedures that must look
// at both views of the shared COM registration (view: kKeyWow64_64Key or kKeyWow64_32Key).
bool ReadRegistryStringInView(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                              std::wstring* out, std::uint32_t view);
bool RegistryStringEqualsInView(RegistryRoot root, const wchar_t* sub_key,
                                const wchar_t* value_name, const std::wstring& expected,
                                std::uint32_t view);
platform::Win32Error DeleteRegistryTreeInView(RegistryRoot root, const std::wstring& key_path,
                                              std::uint32_t view);

}  // namespace vellmora
