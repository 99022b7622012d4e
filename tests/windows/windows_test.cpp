#include "windows/windows_test.h"

#include <algorithm>
#include <filesystem>

#include "app/text.h"
#include "platform/registry.h"
#include "support/wine_detection.h"
#include "windows/product_registry_key.h"

namespace vellmora::testing {

WindowsTest::WindowsTest() {
#if VELLMORA_PLATFORM_SIM
  sim::UseFakeClock(true);
#endif
  engine_.paths.install_base = machine_.In(L"D");
  engine_.paths.data_base = machine_.In(L"D\\ProgramData");
  MakeTestDirectories(engine_.paths.InstallDir());
  MakeTestDirectories(engine_.paths.DataDir());
}

WindowsTest::~WindowsTest() {
  DeleteRegistryTree(RegistryRoot::kCurrentUser, L"SOFTWARE\\Ostrevin");
  DeleteRegistryTree(RegistryRoot::kLocalMachine, kEngineNamespaceKey);
  DeleteRegistryTree(RegistryRoot::kCurrentUser, kEngineNamespaceKey);
  DeleteRegistryTree(RegistryRoot::kLocalMachine, kUninstallKey);
#if VELLMORA_PLATFORM_SIM
  sim::UseFakeClock(false);
#endif
}

RegistryValues WindowsTest::ValuesOf(RegistryRoot root, const wchar_t* key) {
  RegistryValues values;
  platform::RegistryKey opened;
  if (platform::RegOpenKeyExW(root, key, platform::kKeyQueryValue | ViewMaskOf(root), &opened) !=
      platform::kErrorSuccess) {
    return values;
  }
  std::wstring name;
  std::uint32_t type = 0;
  for (std::uint32_t index = 0;
       platform::RegEnumValueW(opened, index, &name, &type) == platform::kErrorSuccess; ++index) {
    std::wstring shown = L"type " + std::to_wstring(type);
    std::wstring text;
    std::uint32_t number = 0;
    if (type == platform::kRegSz) {
      shown = L"REG_SZ:";
      if (ReadRegistryString(root, key, name.c_str(), &text)) shown += text;
    } else if (type == platform::kRegDword && ReadRegistryDword(root, key, name.c_str(), &number)) {
      shown = L"REG_DWORD:" + std::to_wstring(number);
    }
    values.emplace_back(name, shown);
  }
  return values;
}

RegistryValues WindowsTest::AsEnumerated(RegistryValues values) {
  if (RunningUnderWine()) {
    std::stable_sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
      return ToLowerCase(a.first) < ToLowerCase(b.first);
    });
  }
  return values;
}

void WindowsTest::UseRunningExecutableAsInstaller() {
  engine_.paths.program_data = machine_.In(L"ProgramData");
  MakeTestDirectories(engine_.paths.program_data);
#if VELLMORA_PLATFORM_SIM
  namespace fs = std::filesystem;
  const fs::path executable = fs::read_symlink("/proc/self/exe");
  const std::string drive = machine_.SimRoot() + "/drives/D";
  fs::remove(drive);
  fs::create_directory_symlink(executable.parent_path(), drive);
#endif
}

std::string WindowsTest::LogText() {
  std::string text;
  for (const std::string& line : engine_.TakeSnapshot().log_lines) text += line + "\n";
  return text;
}

}  // namespace vellmora::testing
