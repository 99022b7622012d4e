#include <windows.h>

#include "platform/locale.h"

namespace platform {

Win32Error GetUserDefaultLocaleName(std::wstring* name) {
  wchar_t buffer[LOCALE_NAME_MAX_LENGTH] = {};
  int length = ::GetUserDefaultLocaleName(buffer, LOCALE_NAME_MAX_LENGTH);
  if (length <= 1) return length == 0 ? ::GetLastError() : kErrorFileNotFound;
  name->assign(buffer, static_cast<std::size_t>(length - 1));
  return kErrorSuccess;
}

Win32Error GetLocaleCountryName(const std::wstring& locale, std::wstring* country) {
  wchar_t buffer[16] = {};
  int length = ::GetLocaleInfoEx(locale.c_str(), LOCALE_SISO3166CTRYNAME, buffer, 16);
  if (length <= 1) return length == 0 ? ::GetLastError() : kErrorFileNotFound;
  country->assign(buffer, static_cast<std::size_t>(length - 1));
  return kErrorSuccess;
}

}  // namespace platform
