#pragma once
// The user's locale as the national-language support functions name it.

#include <string>

#include "platform/types.h"

namespace platform {

// GetUserDefaultLocaleName: the user's default locale name, such as "pt-BR"; an error when the
// system gives none.
Win32Error GetUserDefaultLocaleName(std::wstring* name);

// GetLocaleInfoEx(locale, LOCALE_SISO3166CTRYNAME): the ISO 3166 two-letter country name of the
// locale ("BR" for "pt-BR"); an error for a locale the system does not know.
Win32Error GetLocaleCountryName(const std::wstring& locale, std::wstring* country);

}  // namespace platform
