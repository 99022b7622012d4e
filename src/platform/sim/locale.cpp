#include "platform/locale.h"

#include <cwctype>

#include "platform/sim/machine.h"
#include "platform/sim/text.h"

namespace platform {

Win32Error GetUserDefaultLocaleName(std::wstring* name) {
  const std::string locale = sim::internal::Config()->locale;
  if (locale.empty()) return kErrorFileNotFound;
  *name = sim::internal::FromUtf8(locale);
  return kErrorSuccess;
}

// The machine knows a locale by its shape, language-REGION (with an optional script between):
// the region is its country.
Win32Error GetLocaleCountryName(const std::wstring& locale, std::wstring* country) {
  const std::size_t dash = locale.rfind(L'-');
  if (dash == std::wstring::npos || locale.size() - dash != 3) return kErrorInvalidParameter;
  std::wstring region = locale.substr(dash + 1);
  for (wchar_t& c : region) {
    if (!std::iswalpha(c)) return kErrorInvalidParameter;
    c = static_cast<wchar_t>(std::towupper(c));
  }
  *country = region;
  return kErrorSuccess;
}

}  // namespace platform
