#include "test_machine.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/system.h"

#if VELLMORA_PLATFORM_SIM
#include "platform/sim/sim_control.h"
#endif

namespace vellmora::testing {
namespace {

std::string g_executable_path;

std::wstring UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  platform::Guid guid;
  platform::CoCreateGuid(&guid);
  wchar_t text[64];
  std::swprintf(text, 64, L"%u-%08x-%u", platform::GetCurrentProcessId(), guid.data1,
                counter.fetch_add(1));
  return text;
}

}  // namespace

bool TestMachine::IsSimulated() { return VELLMORA_PLATFORM_SIM != 0; }

TestMachine::TestMachine() {
  std::wstring suffix = UniqueSuffix();
#if VELLMORA_PLATFORM_SIM
  std::filesystem::path root = std::filesystem::temp_directory_path() /
                               ("vellmora-machine-" + std::filesystem::path(suffix).string());
  sim_root_ = root.string();
  sim::CreateMachine(sim_root_);
  sim::UseMachine(sim_root_);
  sandbox_ = L"C:\\Sandbox";
#else
  sandbox_ = platform::GetTempPathW() + L"vellmora-test-" + suffix;
#endif
  MakeTestDirectories(sandbox_);
  scratch_key_ = L"Software\\VellmoraTests\\" + suffix;
}

TestMachine::~TestMachine() {
  platform::RegistryKey tests;
  if (platform::RegOpenKeyExW(platform::RegistryRoot::kCurrentUser, L"Software\\VellmoraTests",
                              platform::kKeyRead | platform::kKeySetValue | platform::kDelete,
                              &tests) == platform::kErrorSuccess) {
    platform::RegDeleteTreeW(tests, scratch_key_.substr(scratch_key_.rfind(L'\\') + 1));
  }
#if VELLMORA_PLATFORM_SIM
  std::error_code ignored;
  std::filesystem::remove_all(sim_root_, ignored);
#else
  RemoveTestTree(sandbox_);
#endif
}

platform::Path TestMachine::In(const std::wstring& relative) const {
  return sandbox_ + L"\\" + relative;
}

bool WriteTestFile(const platform::Path& path, const std::string& content) {
  platform::UniqueHandle file;
  if (platform::CreateFileW(path, platform::kGenericWrite, platform::kShareAll,
                            platform::kCreateAlways, platform::kAttributeNormal,
                            &file) != platform::kErrorSuccess) {
    return false;
  }
  std::uint32_t written = 0;
  return platform::WriteFile(file.Get(), content.data(), static_cast<std::uint32_t>(content.size()),
                             &written) == platform::kErrorSuccess &&
         written == content.size();
}

bool ReadTestFile(const platform::Path& path, std::string* content) {
  platform::UniqueHandle file;
  if (platform::CreateFileW(path, platform::kGenericRead, platform::kShareAll,
                            platform::kOpenExisting, platform::kAttributeNormal,
                            &file) != platform::kErrorSuccess) {
    return false;
  }
  content->clear();
  char buffer[65536];
  for (;;) {
    std::uint32_t read = 0;
    if (platform::ReadFile(file.Get(), buffer, sizeof buffer, &read) != platform::kErrorSuccess) {
      return false;
    }
    if (read == 0) return true;
    content->append(buffer, read);
  }
}

bool MakeTestDirectories(const platform::Path& path) {
  for (size_t at = path.find(L'\\', 3); ; at = path.find(L'\\', at + 1)) {
    platform::Path prefix = path.substr(0, at);
    platform::Win32Error error = platform::CreateDirectoryW(prefix);
    if (error != platform::kErrorSuccess && error != platform::kErrorAlreadyExists) return false;
    if (at == platform::Path::npos) return true;
  }
}

void RemoveTestTree(const platform::Path& path) {
  platform::FileStatus status;
  if (platform::GetFileStatus(path, &status) != platform::kErrorSuccess) return;
  bool directory = (status.attributes & platform::kAttributeDirectory) != 0;
  bool link = (status.attributes & platform::kAttributeReparsePoint) != 0;
  platform::SetFileAttributesW(path, status.attributes & ~platform::kAttributeReadOnly);
  if (directory && !link) {
    std::vector<platform::DirectoryEntry> entries;
    platform::ListDirectory(path, &entries);
    for (const auto& entry : entries) RemoveTestTree(path + L"\\" + entry.name);
  }
  if (directory) {
    platform::RemoveDirectoryW(path);
  } else {
    platform::DeleteFileW(path);
  }
}

void SetTestExecutablePath(const char* argv0) { g_executable_path = argv0 ? argv0 : ""; }

std::string TestExecutableDirectory() {
  size_t slash = g_executable_path.find_last_of("/\\");
  return slash == std::string::npos ? std::string(".") : g_executable_path.substr(0, slash);
}

}  // namespace vellmora::testing
