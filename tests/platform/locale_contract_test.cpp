#include "platform/locale.h"

#include <gtest/gtest.h>

#include "support/test_machine.h"

namespace vellmora::testing {
namespace {

TEST(LocaleContractTest, TheUsersLocaleHasANameAndACountry) {
  TestMachine machine;
  std::wstring name;
  ASSERT_EQ(platform::GetUserDefaultLocaleName(&name), platform::kErrorSuccess);
  EXPECT_NE(name.find(L'-'), std::wstring::npos);
  std::wstring country;
  ASSERT_EQ(platform::GetLocaleCountryName(name, &country), platform::kErrorSuccess);
  EXPECT_EQ(country.size(), 2u);
}

TEST(LocaleContractTest, CountryOfKnownLocales) {
  TestMachine machine;
  for (const auto& [locale, expected] : {std::pair<std::wstring, std::wstring>{L"pt-BR", L"BR"},
                                         {L"en-US", L"US"}, {L"de-DE", L"DE"}}) {
    std::wstring country;
    ASSERT_EQ(platform::GetLocaleCountryName(locale, &country), platform::kErrorSuccess);
    EXPECT_EQ(country, expected);
  }
  std::wstring country = L"unchanged";
  EXPECT_NE(platform::GetLocaleCountryName(L"not a locale", &country), platform::kErrorSuccess);
}

}  // namespace
}  // namespace vellmora::testing
