#include "platform/sim/tools/sim_registration_target.h"

#include <vector>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/sim/text.h"

namespace sim::internal {
namespace {

constexpr std::uint32_t kView = platform::kKeyWow64_64Key;

std::wstring ClassesKey(const std::string& key) { return L"SOFTWARE\\Classes\\" + FromUtf8(key); }

std::string Failure(const char* action, const std::string& key, platform::Win32Error error) {
  return std::string(action) + " " + key + " failed (" + std::to_string(error) + ")";
}

}  // namespace

bool SimRegistrationTarget::SetString(const std::string& key, const std::string& value_name,
                                          const std::string& data, std::string* error) {
  platform::RegistryKey opened;
  platform::Win32Error result = platform::RegCreateKeyExW(
      platform::RegistryRoot::kLocalMachine, ClassesKey(key), platform::kKeySetValue | kView, &opened);
  if (result != platform::kErrorSuccess) {
    *error = Failure("creating", key, result);
    return false;
  }
  std::vector<std::uint8_t> bytes;
  for (wchar_t c : FromUtf8(data) + L'\0') {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
  }
  const std::wstring name = FromUtf8(value_name);
  result = platform::RegSetValueExW(opened, name.empty() ? nullptr : name.c_str(), platform::kRegSz,
                                    bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  if (result != platform::kErrorSuccess) {
    *error = Failure("setting a value of", key, result);
    return false;
  }
  return true;
}

bool SimRegistrationTarget::DeleteTree(const std::string& key, std::string* error) {
  const std::wstring full = ClassesKey(key);
  const std::size_t split = full.rfind(L'\\');
  platform::RegistryKey parent;
  platform::Win32Error result = platform::RegOpenKeyExW(
      platform::RegistryRoot::kLocalMachine, full.substr(0, split),
      platform::kKeyRead | platform::kKeyWrite | platform::kDelete | kView, &parent);
  if (result == platform::kErrorFileNotFound) return true;
  if (result == platform::kErrorSuccess) result = platform::RegDeleteTreeW(parent, full.substr(split + 1));
  if (result == platform::kErrorSuccess || result == platform::kErrorFileNotFound) return true;
  *error = Failure("deleting", key, result);
  return false;
}

bool ReadMachineFile(const std::wstring& path, std::string* image) {
  platform::UniqueHandle file;
  if (platform::CreateFileW(path, 0x80000000 /* GENERIC_READ */, platform::kShareAll,
                            platform::kOpenExisting, 0, &file) != platform::kErrorSuccess) {
    return false;
  }
  image->clear();
  char buffer[65536];
  for (;;) {
    std::uint32_t read = 0;
    if (platform::ReadFile(file.Get(), buffer, sizeof buffer, &read) != platform::kErrorSuccess) {
      return false;
    }
    if (read == 0) return true;
    image->append(buffer, read);
  }
}

}  // namespace sim::internal
