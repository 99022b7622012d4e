#include "platform/sim/tools/sim_registration_target.h"

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/sim/text.h"

namespace sim::internal {
namespace {

const std::wstring kClasses = L"SOFTWARE\\Classes";

bool Failed(std::string* error, const char* what, const std::string& key, platform::Win32Error code) {
  if (error) *error = std::string(what) + " " + key + " (Windows error " + std::to_string(code) + ")";
  return false;
}

}  // namespace

bool SimRegistrationTarget::SetString(const std::string& key, const std::string& value_name,
                                      const std::string& data, std::string* error) {
  platform::RegistryKey handle;
  platform::Win32Error code = platform::RegCreateKeyExW(
      platform::RegistryRoot::kLocalMachine, kClasses + L"\\" + FromUtf8(key),
      platform::kKeySetValue | platform::kKeyWow64_64Key, &handle);
  if (code != platform::kErrorSuccess) return Failed(error, "cannot create", key, code);
  const std::wstring name = FromUtf8(value_name);
  const std::wstring text = FromUtf8(data);
  std::string bytes;
  for (wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  bytes.append(2, '\0');
  code = platform::RegSetValueExW(handle, name.empty() ? nullptr : name.c_str(), platform::kRegSz,
                                  reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                  static_cast<std::uint32_t>(bytes.size()));
  if (code != platform::kErrorSuccess) return Failed(error, "cannot set a value of", key, code);
  return true;
}

bool SimRegistrationTarget::DeleteTree(const std::string& key, std::string* error) {
  platform::RegistryKey classes;
  platform::Win32Error code =
      platform::RegOpenKeyExW(platform::RegistryRoot::kLocalMachine, kClasses,
                              platform::kKeyRead | platform::kDelete | platform::kKeyWow64_64Key,
                              &classes);
  if (code == platform::kErrorFileNotFound) return true;
  if (code == platform::kErrorSuccess) code = platform::RegDeleteTreeW(classes, FromUtf8(key));
  if (code == platform::kErrorSuccess || code == platform::kErrorFileNotFound ||
      code == platform::kErrorPathNotFound)
    return true;
  return Failed(error, "cannot delete", key, code);
}

bool ReadMachineFile(const std::wstring& path, std::string* bytes) {
  platform::UniqueHandle file;
  if (platform::CreateFileW(path, platform::kGenericRead, platform::kShareAll,
                            platform::kOpenExisting, 0, &file) != platform::kErrorSuccess)
    return false;
  bytes->clear();
  char buffer[65536];
  while (true) {
    std::uint32_t got = 0;
    if (platform::ReadFile(file.Get(), buffer, sizeof(buffer), &got) != platform::kErrorSuccess)
      return false;
    if (got == 0) return true;
    bytes->append(buffer, got);
  }
}

}  // namespace sim::internal
