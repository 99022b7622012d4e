#include "app/system_helpers.h"

#include <cstdio>

#include "app/path_helpers.h"
#include "platform/paths.h"

namespace vellmora {
namespace {

constexpr std::size_t kEnvironmentBufferUnits = 32768;

}  // namespace

std::wstring FormatGuid(const platform::Guid& guid, bool with_braces) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.data1), static_cast<unsigned>(guid.data2),
                static_cast<unsigned>(guid.data3), guid.data4[0], guid.data4[1], guid.data4[2],
                guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
  std::wstring formatted(text, text + 38);
  return with_braces ? formatted : formatted.substr(1, 36);
}

std::wstring NewGuidString(bool with_braces) {
  platform::Guid guid;
  if (platform::CoCreateGuid(&guid) != platform::kErrorSuccess) return {};
  return FormatGuid(guid, with_braces);
}

std::wstring ReadEnvironmentVariable(const std::wstring& name) {
  std::wstring value;
  if (platform::GetEnvironmentVariableW(name, &value) != platform::kErrorSuccess) return {};
  if (value.empty() || value.size() >= kEnvironmentBufferUnits) return {};
  return value;
}

// From the system itself: an environment variable is the caller's to set, and an elevated tool
// run from a folder of its choosing would run anyone's program.
Path System32Dir() {
  Path system = platform::GetSystemDirectoryW();
  return IsAbsolutePath(system) ? system : Path();
}

Path RuntimeDirOf(const Path& directory) {
  return JoinPath(JoinPath(directory, L"Runtime"), L"Pellucador_kta5");
}

Path TemporaryDirectory() {
  Path temp = platform::GetTempPathW();
  if (temp.size() >= kEnvironmentBufferUnits) return {};
  return temp;
}

}  // namespace vellmora
