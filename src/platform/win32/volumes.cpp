#include <windows.h>

#include <vector>

#include "platform/volumes.h"

namespace platform {

Win32Error GetLogicalDriveStringsW(std::vector<Path>* roots) {
  std::vector<wchar_t> buffer(128);
  for (;;) {
    DWORD length = ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return ::GetLastError();
    // Too small a buffer is answered with the size it needs.
    if (length < buffer.size()) {
      roots->clear();
      for (const wchar_t* root = buffer.data(); *root != L'\0'; root += wcslen(root) + 1) {
        roots->emplace_back(root);
      }
      return kErrorSuccess;
    }
    buffer.resize(length + 1);
  }
}

std::uint32_t GetDriveTypeW(const Path& root) { return ::GetDriveTypeW(root.c_str()); }

Win32Error GetDiskFreeSpaceExW(const Path& root, std::uint64_t* free_bytes_available) {
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) return ::GetLastError();
  *free_bytes_available = available.QuadPart;
  return kErrorSuccess;
}

}  // namespace platform
