#include "windows/com_identity_catalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "windows/com_interface_iids.h"
#include "windows/guid_text.h"

namespace vellmora::testing {
namespace {

// SHA-256 of a byte string as lower-case hexadecimal, so that the test pins the interface list
// without trusting any code under test.
std::string Sha256Hex(const std::string& message) {
  static const std::uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
      0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
      0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
      0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
      0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
      0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
      0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
      0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
      0xc67178f2};
  std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::string data = message;
  data.push_back('\x80');
  while (data.size() % 64 != 56) data.push_back('\0');
  const std::uint64_t bits = static_cast<std::uint64_t>(message.size()) * 8;
  for (int i = 7; i >= 0; --i) data.push_back(static_cast<char>(bits >> (8 * i)));
  auto rotr = [](std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
  for (std::size_t block = 0; block < data.size(); block += 64) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
      w[i] = 0;
      for (int b = 0; b < 4; ++b) {
        w[i] = w[i] << 8 | static_cast<std::uint8_t>(data[block + 4 * i + b]);
      }
    }
    for (int i = 16; i < 64; ++i) {
      const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t v[8];
    std::copy(h, h + 8, v);
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t s1 = rotr(v[4], 6) ^ rotr(v[4], 11) ^ rotr(v[4], 25);
      const std::uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
      const std::uint32_t t1 = v[7] + s1 + ch + k[i] + w[i];
      const std::uint32_t s0 = rotr(v[0], 2) ^ rotr(v[0], 13) ^ rotr(v[0], 22);
      const std::uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
      std::copy_backward(v, v + 7, v + 8);
      v[4] += t1;
      v[0] = t1 + s0 + maj;
    }
    for (int i = 0; i < 8; ++i) h[i] += v[i];
  }
  std::string hex;
  char part[9];
  for (std::uint32_t word : h) {
    std::snprintf(part, sizeof part, "%08x", word);
    hex += part;
  }
  return hex;
}

std::string Text(const BinaryGuid& guid) { return FormatGuidText(guid, true); }

TEST(ComIdentityCatalogTest, DigestHelperIsSha256) {
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(ComIdentityCatalogTest, InterfaceListIsThePinnedOne) {
  std::string joined;
  for (std::size_t i = 0; i < kComInterfaceIids.size(); ++i) {
    if (i > 0) joined += '\n';
    joined += kComInterfaceIids[i];
  }
  EXPECT_EQ(Sha256Hex(joined), "2abd41b8d201063f721ab56af0816925f0bf68ebe193e0051075935929bc2f2c");
}

TEST(ComIdentityCatalogTest, HoldsTheSixIdentitiesThenTheSortedInterfaces) {
  const ComIdentityCatalog& catalog = ComIdentityCatalog::Instance();
  ASSERT_EQ(catalog.error(), "");
  ASSERT_EQ(catalog.pairs().size(), 230u);
  for (std::size_t i = 7; i < 230; ++i) {
    EXPECT_LT(Text(catalog.pairs()[i - 1].original), Text(catalog.pairs()[i].original)) << i;
  }
  struct Row {
    std::size_t position;
    const char* original;
    const char* replacement;
  };
  const Row rows[] = {
      {0, "AE316C2B-C93A-4B56-93F9-696F59A5E91F", "8DC0F64F-6C11-4311-92B8-AB864871824C"},
      {1, "F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A", "D23370EB-3AE6-4B86-A99A-561C6BEFC5C9"},
      {2, "F2DB3C6E-125C-4103-97F9-E4BC42A449F4", "D12AA60A-B777-4944-96B8-2655537022A7"},
      {3, "F3265CBC-288B-4670-9518-1A0B4A58192F", "D0D7C6D8-8DA0-4E37-9459-D8E25B8C727C"},
      {4, "0582363E-7A11-46B1-9A3C-DF675EA24589", "2673AC5A-DF3A-4EF6-9B7D-1D8E4F762EDA"},
      {5, "780F9948-8F17-41BD-BB08-3DB2F47684B8", "5BFE032C-2A3C-49FA-BA49-FF5BE5A2EFEB"},
      {6, "022FB2E3-EF75-458E-9A58-A67607734B92", "21DE2887-4A5E-4DC9-9B19-649F16A720C1"},
      {59, "470A6E9B-2049-4DC1-B901-D967E4CADF8A", "64FBF4FF-8562-4586-B840-1B8EF51EB4D9"},
      {113, "889BA8C2-0C06-4E42-86C9-816CEEF5C4B3", "AB6A32A6-A92D-4605-8788-4385FF21AFE0"},
      {214, "EA319BDC-02C2-46E7-83D1-F6C33C03202B", "C9C001B8-A7E9-4EA0-8290-342A2DD74B78"},
      {229, "FFA85D01-52DB-4055-8B65-2AC0CF9F6244", "DC59C765-F7F0-4812-8A24-E829DE4B0917"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.position);
    EXPECT_EQ(Text(catalog.pairs()[row.position].original), row.original);
    EXPECT_EQ(Text(catalog.pairs()[row.position].replacement), row.replacement);
    // The rule is its own inverse.
    EXPECT_EQ(Text(PrivateGuidOf(catalog.pairs()[row.position].replacement)), row.original);
  }
  for (const ComIdentityPair& pair : catalog.pairs()) {
    EXPECT_EQ(catalog.PrivateOf(pair.replacement), nullptr) << Text(pair.replacement);
    EXPECT_TRUE(catalog.IsPrivate(pair.replacement));
    EXPECT_FALSE(catalog.IsPrivate(pair.original));
  }
}

TEST(ComIdentityCatalogTest, RefusesInvalidDuplicateAndAliasingLists) {
  const std::string_view a = "AE316C2B-C93A-4B56-93F9-696F59A5E91F";
  const std::string_view a_private = "8DC0F64F-6C11-4311-92B8-AB864871824C";
  const std::string_view b = "{F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A}";
  struct Case {
    std::vector<std::string_view> texts;
    const char* error;
  };
  const Case cases[] = {
      {{a, b}, ""},
      {{a, "ae316c2b-c93a-4b56-93f9-696f59a5e91f"},
       "The static COM identity catalog contains an invalid or duplicate original GUID."},
      {{a, "AE316C2B-C93A-4B56-93F9-696F59A5E91"},
       "The static COM identity catalog contains an invalid or duplicate original GUID."},
      {{"[F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A]"},
       "The static COM identity catalog contains an invalid or duplicate original GUID."},
      {{a, a_private}, "A private COM GUID aliases an original GUID."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(ComIdentityCatalog(c.texts).error(), c.error);
  }
}

TEST(PrivateGuidTextTest, AcceptsEitherFormAndCaseAndNamesWhatIsWrong) {
  struct Case {
    const char* original;
    const char* replacement;
    const char* error;
  };
  const Case cases[] = {
      {"EA319BDC-02C2-46E7-83D1-F6C33C03202B", "C9C001B8-A7E9-4EA0-8290-342A2DD74B78", ""},
      {"{ea319bdc-02c2-46e7-83d1-f6c33c03202b}", "C9C001B8-A7E9-4EA0-8290-342A2DD74B78", ""},
      {"EA319BDC-02C2-46E7-83D1-F6C33C03202", "", "The requested COM GUID is not valid."},
      {"{EA319BDC-02C2-46E7-83D1-F6C33C03202B", "", "The requested COM GUID is not valid."},
      {"EA319BDC+02C2-46E7-83D1-F6C33C03202B", "", "The requested COM GUID is not valid."},
      {"00000000-0000-0000-C000-000000000046", "",
       "The requested COM GUID is not part of the static Vellmora catalog."},
      // A private GUID is not an original.
      {"C9C001B8-A7E9-4EA0-8290-342A2DD74B78", "",
       "The requested COM GUID is not part of the static Vellmora catalog."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.original);
    std::string text;
    std::string error;
    EXPECT_EQ(PrivateGuidText(c.original, &text, &error), *c.error == '\0');
    EXPECT_EQ(text, c.replacement);
    EXPECT_EQ(error, c.error);
  }
}

TEST(GuidTextTest, ParsesAndFormatsTheWindowsLayout) {
  const std::string text = "EA319BDC-02C2-46E7-83D1-F6C33C03202B";
  const BinaryGuid binary = {0xDC, 0x9B, 0x31, 0xEA, 0xC2, 0x02, 0xE7, 0x46,
                             0x83, 0xD1, 0xF6, 0xC3, 0x3C, 0x03, 0x20, 0x2B};
  BinaryGuid parsed{};
  ASSERT_TRUE(ParseGuidText(reinterpret_cast<const std::uint8_t*>(text.data()), 1, &parsed));
  EXPECT_EQ(parsed, binary);
  EXPECT_EQ(FormatGuidText(binary, true), text);
  EXPECT_EQ(FormatGuidText(binary, false), "ea319bdc-02c2-46e7-83d1-f6c33c03202b");
  std::string wide;
  for (char c : text) wide += std::string{c, '\0'};
  BinaryGuid parsed_wide{};
  ASSERT_TRUE(ParseGuidText(reinterpret_cast<const std::uint8_t*>(wide.data()), 2, &parsed_wide));
  EXPECT_EQ(parsed_wide, binary);
  wide[3] = 'x';  // a high byte that is not zero
  EXPECT_FALSE(ParseGuidText(reinterpret_cast<const std::uint8_t*>(wide.data()), 2, &parsed_wide));
  struct CaseTest {
    const char* text;
    bool upper;
  };
  const CaseTest cases[] = {{"EA319BDC-02C2-46E7-83D1-F6C33C03202B", true},
                            {"ea319bdc-02c2-46e7-83d1-f6c33c03202b", false},
                            {"Ea319bdc-02C2-46E7-83D1-F6C33C03202B", true},
                            {"12345678-1234-1234-1234-123456789012", false}};
  for (const CaseTest& c : cases) {
    EXPECT_EQ(GuidTextIsUpperCase(reinterpret_cast<const std::uint8_t*>(c.text), 1), c.upper)
        << c.text;
  }
}

}  // namespace
}  // namespace vellmora::testing
