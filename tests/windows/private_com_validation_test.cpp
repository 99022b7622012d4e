#include "windows/private_com_validation.h"

#include <functional>

#include "app/path_helpers.h"
#include "app/text.h"
#include "forge/pe_image.h"
#include "windows/com_engine_fixture.h"
#include "windows/pe64_view.h"
#include "windows/windows_test.h"

namespace vellmora::testing {
namespace {

TEST(PrivateComTextTest, TokensAndCaseInsensitiveTexts) {
  const std::string z(1, '\0');
  struct Case {
    std::string bytes;
    const char* text;
    bool utf16;
    bool token;
  };
  const Case tokens[] = {
      {"KolvSVC", "KolvSVC", false, true},
      {z + "KolvSVC" + z, "KolvSVC", false, true},
      {"run-KolvSVC now", "KolvSVC", false, true},
      {"KolvSVC.exe", "KolvSVC", false, false},
      {"xKolvSVC", "KolvSVC", false, false},
      {"KolvSVC_2", "KolvSVC", false, false},
      {"3KolvSVC", "KolvSVC", false, false},
      {"kolvsvc", "KolvSVC", false, false},
      {Utf16Text("KolvSVC") + z + z, "KolvSVC", true, true},
      {Utf16Text("aKolvSVC"), "KolvSVC", true, false},
      {Utf16Text("KolvSVC.exe"), "KolvSVC", true, false},
      {Utf16Text("KolvSVC"), "KolvSVC", false, false},
      // A UTF-16 unit with a high byte is no letter, so it delimits.
      {std::string("\x41\x30", 2) + Utf16Text("KolvSVC"), "KolvSVC", true, true},
  };
  for (const Case& c : tokens) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(BytesContainToken(c.bytes, c.text, c.utf16), c.token);
  }
  EXPECT_TRUE(BytesContainIgnoreCase("x:\\vlmserv.EXE", "VLMServ.exe"));
  EXPECT_TRUE(BytesContainIgnoreCase(Utf16Text("C:\\VLMSERV.exe"), "VLMServ.exe"));
  EXPECT_FALSE(BytesContainIgnoreCase(std::string("V\1L\1M\1S\1e\1r\1v\1.\1e\1x\1e\1", 22),
                                      "VLMServ.exe"));
  EXPECT_FALSE(BytesContainIgnoreCase("VLMServ.ex", "VLMServ.exe"));
}

class PrivateGuidInBinaryTest : public WindowsTest {};

TEST_F(PrivateGuidInBinaryTest, NamesWhatIsWrongWithTheBinary) {
  const char* client = "F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A";
  forge::PeImageOptions options;
  options.dll = true;
  options.read_only_data = BinaryGuidBytes("D23370EB-3AE6-4B86-A99A-561C6BEFC5C9");
  const std::string good = forge::MakePeImage(options);
  const std::size_t pe = static_cast<std::size_t>(ReadLe(good, 60, 4));
  const platform::Path path = machine_.In(L"KolvC.dll");
  const std::string shown = ToUtf8(path);
  struct Case {
    const char* name;
    std::function<void(std::string*)> change;
    const char* original;
    std::string error;
  };
  const Case cases[] = {
      {"private GUID present", [](std::string*) {}, client, ""},
      {"63 bytes", [](std::string* s) { s->resize(63); }, client,
       "Missing or invalid private COM binary: " + shown},
      {"no signature", [pe](std::string* s) { (*s)[pe] = 'X'; }, client,
       "Invalid PE header in private COM binary: " + shown},
      {"no sections", [pe](std::string* s) { (*s)[pe + 6] = 0; }, client,
       "Invalid section table in private COM binary: " + shown},
      {"malformed original", [](std::string*) {}, "F1C2EA8F", "The requested COM GUID is not valid."},
      {"section outside the file",
       [pe](std::string* s) {
         const std::size_t raw = pe + 24 + 240 + 40 + 20;
         (*s)[raw + 3] = '\x7F';
       },
       client, "An invalid PE section prevents private COM validation: " + shown},
      {"an original left",
       [](std::string* s) {
         const std::string original = BinaryGuidBytes("F2DB3C6E-125C-4103-97F9-E4BC42A449F4");
         const std::size_t at = s->find(BinaryGuidBytes("D23370EB-3AE6-4B86-A99A-561C6BEFC5C9"));
         s->replace(at + 16, 16, original);
       },
       client, ""},
      {"private GUID of another identity", [](std::string*) {},
       "F2DB3C6E-125C-4103-97F9-E4BC42A449F4",
       "The expected private COM GUID is missing from " + shown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string image = good;
    c.change(&image);
    ASSERT_TRUE(WriteTestFile(path, image));
    std::string error;
    const bool valid = ValidatePrivateGuidInBinary(path, c.original, &error);
    if (std::string(c.name) == "an original left") {
      EXPECT_FALSE(valid);
      EXPECT_EQ(error.rfind("An original shared COM GUID remains in the patched PE section at offset ", 0), 0u)
          << error;
      EXPECT_NE(error.find(". File: " + shown), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(valid, c.error.empty());
    EXPECT_EQ(error, c.error);
  }
  std::string error;
  EXPECT_FALSE(ValidatePrivateGuidInBinary(machine_.In(L"absent.dll"), client, &error));
  EXPECT_EQ(error, "Missing or invalid private COM binary: " + ToUtf8(machine_.In(L"absent.dll")));
}

TEST_F(PrivateGuidInBinaryTest, AServerLeftUnderItsSharedNameIsNotPrivate) {
  const platform::Path dir = machine_.In(L"Engine");
  WriteComEngine(dir, {{L"VLMServ.exe", "x"}, {L"KolvSVC.exe", "x"}});
  std::string error;
  EXPECT_FALSE(ValidatePrivateComIdentity(dir, &error));
  EXPECT_EQ(error, "The Vellmora COM server was not privately renamed.");
  WriteComEngine(machine_.In(L"Empty"), {});
  EXPECT_FALSE(ValidatePrivateComIdentity(machine_.In(L"Empty"), &error));
  EXPECT_EQ(error, "The Vellmora COM server was not privately renamed.");
}

}  // namespace
}  // namespace vellmora::testing
