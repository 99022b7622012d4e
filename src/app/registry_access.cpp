#include "app/registry_access.h"

#include <vector>

#include "app/install_log.h"
#include "app/text.h"

namespace vellmora {
namespace {

using platform::RegistryKey;
using platform::Win32Error;

const char* RootLabel(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine:
      return "HKLM";
    case RegistryRoot::kCurrentUser:
      return "HKCU";
    case RegistryRoot::kClassesRoot:
      break;
  }
  return "OTHER";
}

void WriteRegistryFailure(const char* action, RegistryRoot root, const wchar_t* sub_key,
                          const wchar_t* value_name, Win32Error error) {
  std::string line = "REGISTRY FAILURE: action=";
  line += action;
  line += ", root=";
  line += RootLabel(root);
  line += ", key=" + ToUtf8(sub_key ? sub_key : L"");
  line += ", value=" + (value_name ? ToUtf8(value_name) : std::string("(Default)"));
  line += ", win32Error=" + std::to_string(static_cast<std::int32_t>(error)) + ".";
  WriteDiagnostic(line);
}

bool WriteRegistryValue(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                        std::uint32_t type, const std::vector<std::uint8_t>& data,
                        const char* create_action, const char* set_action) {
  const std::uint32_t view = ViewMaskOf(root);
  RegistryKey key;
  Win32Error error = platform::RegCreateKeyExW(root, sub_key ? sub_key : L"",
                                               platform::kKeySetValue | view, &key);
  if (error != platform::kErrorSuccess) {
    WriteRegistryFailure(create_action, root, sub_key, value_name, error);
    return false;
  }
  error = platform::RegSetValueExW(key, value_name, type, data.data(),
                                   static_cast<std::uint32_t>(data.size()));
  key.Close();
  if (error != platform::kErrorSuccess) {
    WriteRegistryFailure(set_action, root, sub_key, value_name, error);
    return false;
  }
  return true;
}

bool OpenForQuery(RegistryRoot root, const wchar_t* sub_key, std::uint32_t view,
                  RegistryKey* key) {
  return platform::RegOpenKeyExW(root, sub_key ? sub_key : L"", platform::kKeyQueryValue | view,
                                 key) == platform::kErrorSuccess;
}

bool ReadStringInView(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                      std::wstring* out, std::uint32_t view) {
  RegistryKey key;
  if (!OpenForQuery(root, sub_key, view, &key)) return false;
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (platform::RegQueryValueExW(key, value_name, &type, nullptr, &size) !=
          platform::kErrorSuccess ||
      (type != platform::kRegSz && type != platform::kRegExpandSz) || size <= 1) {
    return false;
  }
  // Room for the stored bytes and a terminator that a careless writer may have left out.
  std::vector<std::uint8_t> buffer((size / 2 + 1) * 2, 0);
  std::uint32_t buffer_size = size;
  Win32Error error = platform::RegQueryValueExW(key, value_name, &type, buffer.data(), &buffer_size);
  key.Close();
  if (error != platform::kErrorSuccess) return false;
  std::wstring text = FromUtf16LeBytes(buffer.data(), buffer.size());
  if (text.empty()) return false;
  *out = std::move(text);
  return true;
}

}  // namespace

std::uint32_t ViewMaskOf(RegistryRoot root) {
  return root == RegistryRoot::kCurrentUser ? 0 : platform::kKeyWow64_64Key;
}

bool WriteRegistryString(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                         const std::wstring& text) {
  return WriteRegistryValue(root, sub_key, value_name, platform::kRegSz,
                            ToUtf16LeBytes(text, true), "create/open string",
                            "set string");
}

bool WriteRegistryDword(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                        std::uint32_t value) {
  std::vector<std::uint8_t> data = {
      static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>((value >> 8) & 0xFF),
      static_cast<std::uint8_t>((value >> 16) & 0xFF),
      static_cast<std::uint8_t>((value >> 24) & 0xFF)};
  return WriteRegistryValue(root, sub_key, value_name, platform::kRegDword, data,
                            "create/open DWORD", "set DWORD");
}

bool DeleteRegistryValue(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name) {
  RegistryKey key;
  Win32Error error =
      platform::RegOpenKeyExW(root, sub_key ? sub_key : L"",
                              platform::kKeySetValue | ViewMaskOf(root), &key);
  if (error == platform::kErrorFileNotFound) return true;
  if (error != platform::kErrorSuccess) {
    WriteRegistryFailure("open for delete", root, sub_key, value_name, error);
    return false;
  }
  error = platform::RegDeleteValueW(key, value_name);
  key.Close();
  if (error == platform::kErrorSuccess || error == platform::kErrorFileNotFound) return true;
  WriteRegistryFailure("delete value", root, sub_key, value_name, error);
  return false;
}

bool ReadRegistryString(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                        std::wstring* out) {
  return ReadStringInView(root, sub_key, value_name, out, ViewMaskOf(root));
}

bool ReadRegistryString32BitView(const wchar_t* sub_key, const wchar_t* value_name,
                                 std::wstring* out) {
  return ReadStringInView(RegistryRoot::kLocalMachine, sub_key, value_name, out,
                          platform::kKeyWow64_32Key);
}

bool ReadRegistryDword(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                       std::uint32_t* out) {
  RegistryKey key;
  if (!OpenForQuery(root, sub_key, ViewMaskOf(root), &key)) return false;
  std::uint8_t data[4] = {};
  std::uint32_t type = 0;
  std::uint32_t size = sizeof data;
  Win32Error error = platform::RegQueryValueExW(key, value_name, &type, data, &size);
  key.Close();
  if (error != platform::kErrorSuccess || type != platform::kRegDword || size != 4) return false;
  *out = static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
         (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
  return true;
}

platform::Win32Error DeleteRegistryTree(RegistryRoot root, const std::wstring& key_path) {
  return DeleteRegistryTreeInView(root, key_path, ViewMaskOf(root));
}

platform::Win32Error DeleteRegistryTreeInView(RegistryRoot root, const std::wstring& key_path,
                                              std::uint32_t view) {
  std::size_t split = key_path.rfind(L'\\');
  if (key_path.empty() || split == std::wstring::npos || split + 1 == key_path.size()) {
    return platform::kErrorInvalidParameter;
  }
  RegistryKey parent;
  constexpr std::uint32_t kParentAccess = platform::kKeyQueryValue | platform::kKeySetValue |
                                          platform::kKeyCreateSubKey |
                                          platform::kKeyEnumerateSubKeys | platform::kKeyNotify |
                                          platform::kDelete | platform::kReadControl;
  Win32Error error =
      platform::RegOpenKeyExW(root, key_path.substr(0, split), kParentAccess | view, &parent);
  if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) {
    return platform::kErrorFileNotFound;
  }
  if (error != platform::kErrorSuccess) return error;
  error = platform::RegDeleteTreeW(parent, key_path.substr(split + 1));
  parent.Close();
  return error;
}

bool RegistryStringEquals(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                          const std::wstring& expected) {
  return RegistryStringEqualsInView(root, sub_key, value_name, expected, ViewMaskOf(root));
}

bool ReadRegistryStringInView(RegistryRoot root, const wchar_t* sub_key, const wchar_t* value_name,
                              std::wstring* out, std::uint32_t view) {
  return ReadStringInView(root, sub_key, value_name, out, view);
}

bool RegistryStringEqualsInView(RegistryRoot root, const wchar_t* sub_key,
                                const wchar_t* value_name, const std::wstring& expected,
                                std::uint32_t view) {
  std::wstring stored;
  return ReadStringInView(root, sub_key, value_name, &stored, view) &&
         EqualsIgnoringCase(stored, expected);
}

bool RegistryKeyAbsentOrStringEquals(RegistryRoot root, const wchar_t* sub_key,
                                     const wchar_t* value_name, const std::wstring& expected) {
  {
    RegistryKey key;
    if (!OpenForQuery(root, sub_key, ViewMaskOf(root), &key)) return true;
  }
  return RegistryStringEquals(root, sub_key, value_name, expected);
}

}  // namespace vellmora
