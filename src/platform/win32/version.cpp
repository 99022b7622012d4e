#include <windows.h>

#include "platform/version.h"
#include "platform/win32/system_library.h"

namespace platform {

// Version.dll is not on the known-DLL list: it comes from the system folder at run time.

std::uint32_t GetFileVersionInfoSizeW(const Path& file, Win32Error* error) {
  static const auto get_size = win32::SystemFunction<decltype(&::GetFileVersionInfoSizeW)>(
      L"version.dll", "GetFileVersionInfoSizeW");
  if (get_size == nullptr) {
    if (error) *error = ::GetLastError();
    return 0;
  }
  DWORD ignored = 0;
  ::SetLastError(ERROR_SUCCESS);
  DWORD size = get_size(file.c_str(), &ignored);
  if (error) *error = size == 0 ? ::GetLastError() : kErrorSuccess;
  return size;
}

Win32Error GetFileVersionInfoW(const Path& file, std::uint32_t size, std::vector<std::uint8_t>* data) {
  static const auto get_info = win32::SystemFunction<decltype(&::GetFileVersionInfoW)>(
      L"version.dll", "GetFileVersionInfoW");
  if (get_info == nullptr) return ::GetLastError();
  data->assign(size, 0);
  if (!get_info(file.c_str(), 0, size, data->data())) {
    Win32Error error = ::GetLastError();
    data->clear();
    return error == kErrorSuccess ? kErrorInvalidParameter : error;
  }
  return kErrorSuccess;
}

bool VerQueryValueW(const std::vector<std::uint8_t>& block, const std::wstring& sub_block,
                    const std::uint8_t** value, std::uint32_t* length) {
  static const auto query = win32::SystemFunction<decltype(&::VerQueryValueW)>(
      L"version.dll", "VerQueryValueW");
  if (query == nullptr || block.empty()) return false;
  void* found = nullptr;
  UINT found_length = 0;
  if (!query(block.data(), sub_block.c_str(), &found, &found_length) || found == nullptr) {
    return false;
  }
  *value = static_cast<const std::uint8_t*>(found);
  *length = found_length;
  return true;
}

}  // namespace platform
