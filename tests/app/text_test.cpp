#include <gtest/gtest.h>

#include "app/text.h"

namespace vellmora {
namespace {

TEST(TextTest, ToUtf8ConvertsPairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(ToUtf8(L""), "");
  EXPECT_EQ(ToUtf8(L"Instala\u00e7\u00e3o"), "Instala\xc3\xa7\xc3\xa3o");
  std::wstring lone;
  lone.push_back(static_cast<wchar_t>(0xD800));
  lone.push_back(L'x');
  EXPECT_EQ(ToUtf8(lone), "\xef\xbf\xbdx");
  if constexpr (sizeof(wchar_t) == 2) {
    std::wstring pair = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(ToUtf8(pair), "\xf0\x9f\x98\x80");
  }
}

TEST(TextTest, Utf16LeBytesRoundTripWithTerminator) {
  std::wstring text = L"C:\\Vellmora \u00e9";
  std::vector<std::uint8_t> bytes = ToUtf16LeBytes(text, true);
  ASSERT_EQ(bytes.size(), (text.size() + 1) * 2);
  EXPECT_EQ(bytes[0], 'C');
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(FromUtf16LeBytes(bytes.data(), bytes.size()), text);
}

TEST(TextTest, StatusCodesHaveEightUpperCaseDigits) {
  EXPECT_EQ(HexStatusCode(0x80040154u), "0x80040154");
  EXPECT_EQ(HexStatusCode(0x8000ffffu), "0x8000FFFF");
  EXPECT_EQ(HexStatusCode(5), "0x00000005");
}

TEST(TextTest, QuoteArgumentPassesEverythingThrough) {
  EXPECT_EQ(QuoteArgument(L"C:\\Vellmora\\"), L"\"C:\\Vellmora\\\"");
  EXPECT_EQ(QuoteArgument(L"a\"b"), L"\"a\"b\"");
}

TEST(TextTest, WideningAndNarrowingKeepOneByteperUnit) {
  EXPECT_EQ(WidenBytes("D:\\\xe9"), std::wstring(L"D:\\") + static_cast<wchar_t>(0xE9));
  EXPECT_EQ(NarrowToLowBytes(std::wstring(L"D:") + static_cast<wchar_t>(0x141)), "D:\x41");
}

}  // namespace
}  // namespace vellmora
