#include "windows/com_identity_occurrences.h"

#include <gtest/gtest.h>

#include <cctype>
#include <initializer_list>
#include <string_view>

#include "windows/com_identity_catalog.h"
#include "windows/guid_text.h"

namespace vellmora::testing {
namespace {

const char kServerClass[] = "AE316C2B-C93A-4B56-93F9-696F59A5E91F";
const char kServerClassPrivate[] = "8DC0F64F-6C11-4311-92B8-AB864871824C";

std::string Wide(const std::string& text) {
  std::string out;
  for (char c : text) out += std::string{c, '\0'};
  return out;
}

// Pieces joined by appending (the cross compiler warns falsely about chains of operator+).
std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) out.append(part);
  return out;
}

std::string Binary(const char* text) {
  BinaryGuid guid{};
  EXPECT_TRUE(ParseGuidEntry(text, &guid));
  return std::string(guid.begin(), guid.end());
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

struct Patched {
  bool ok = false;
  std::string bytes;
  ComReplacementCounters counters;
  std::string error;
};

Patched Patch(const std::string& bytes) {
  Patched result;
  result.bytes = bytes;
  result.ok = PatchComIdentityInRange(&result.bytes, 0, result.bytes.size(), &result.counters,
                                      &result.error);
  return result;
}

TEST(ComIdentityOccurrencesTest, RewritesEachFormInPlace) {
  const std::string z("\0", 1);
  struct Case {
    const char* name;
    std::string input;
    std::string output;
    std::size_t binary, text, utf16_text, names;
  };
  const std::string server = kServerClass;
  const std::string server_private = kServerClassPrivate;
  const Case cases[] = {
      {"upper text in braces", Cat({"{", server, "}"}), Cat({"{", server_private, "}"}), 0, 1, 0,
       0},
      {"lower text", Cat({"x", Lower(server), "y"}), Cat({"x", Lower(server_private), "y"}), 0, 1,
       0, 0},
      {"UTF-16 text keeps its zero high bytes", Wide(Cat({"{", server, "}"})),
       Wide(Cat({"{", server_private, "}"})), 0, 0, 1, 0},
      {"binary", Cat({"ab", Binary(kServerClass), "cd"}),
       Cat({"ab", Binary(kServerClassPrivate), "cd"}), 1, 0, 0, 0},
      {"longest ProgID first", "VirtualBox.VirtualBoxClient.1",
       "VellmoraVM.VellmoraVMClient.1", 0, 0, 0, 1},
      {"UTF-16 ProgID", Wide("VirtualBox.Session"), Wide("VellmoraVM.Session"), 0, 0, 0, 1},
      {"server file name", "C:\\x\\KolvSVC.exe", "C:\\x\\VLMServ.exe", 0, 0, 0, 1},
      {"server file name, other spelling", Wide("KolvSvc.exe"), Wide("VLMServ.exe"), 0, 0, 0, 1},
      {"zero-terminated short name", Cat({z, "KolvSVC", z}), Cat({z, "VLMServ", z}), 0, 0, 0, 1},
      {"short name followed by letters", Cat({z, "KolvSVCHost", z}), Cat({z, "KolvSVCHost", z}), 0, 0, 0,
       0},
      {"short name at the range start", Cat({"KolvSVC", z}), Cat({"KolvSVC", z}), 0, 0, 0, 0},
      {"zero-delimited UTF-16 short name", Cat({z, z, Wide("KolvSVC"), z, z}),
       Cat({z, z, Wide("VLMServ"), z, z}), 0, 0, 0, 1},
      {"CLR user string", Cat({"\x0F", Wide("KolvSVC"), z}),
       Cat({"\x0F", Wide("VLMServ"), z}), 0, 0, 0, 1},
      {"CLR member name", Cat({z, "KolvSvc", z}), Cat({z, "KolvSvc", z}), 0, 0, 0, 0},
      {"unknown GUID", "00000000-0000-0000-C000-000000000046",
       "00000000-0000-0000-C000-000000000046", 0, 0, 0, 0},
      {"private GUID is not an original", kServerClassPrivate, kServerClassPrivate, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Patched patched = Patch(c.input);
    ASSERT_TRUE(patched.ok) << patched.error;
    EXPECT_EQ(patched.bytes, c.output);
    EXPECT_EQ(patched.counters.binary_guids, c.binary);
    EXPECT_EQ(patched.counters.guid_texts, c.text);
    EXPECT_EQ(patched.counters.utf16_guid_texts, c.utf16_text);
    EXPECT_EQ(patched.counters.names, c.names);
    std::string error;
    EXPECT_TRUE(VerifyNoOriginalIdentity(patched.bytes, 0, patched.bytes.size(), &error)) << error;
  }
}

TEST(ComIdentityOccurrencesTest, FindsOnlyInsideTheRangeInOffsetOrder) {
  const std::string bytes = Cat({"KolvSVC.exe..", Binary(kServerClass), ".", kServerClass});
  std::vector<ComIdentityOccurrence> found;
  std::string error;
  ASSERT_TRUE(FindComIdentityOccurrences(bytes, 0, bytes.size(), &found, &error)) << error;
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].offset, 0u);
  EXPECT_EQ(found[1].offset, 13u);
  EXPECT_EQ(found[2].offset, 30u);
  // A GUID cut by the range's end is not found, nor is the name before its start.
  ASSERT_TRUE(FindComIdentityOccurrences(bytes, 1, bytes.size() - 1, &found, &error));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].kind, ComOccurrenceKind::kBinaryGuid);
  EXPECT_FALSE(FindComIdentityOccurrences(bytes, 5, 4, &found, &error));
  EXPECT_EQ(error, "Invalid PE section range for COM identity patching.");
  EXPECT_FALSE(FindComIdentityOccurrences(bytes, 0, bytes.size() + 1, &found, &error));
  EXPECT_EQ(error, "Invalid PE section range for COM identity patching.");
  EXPECT_FALSE(VerifyNoOriginalIdentity(bytes, 2, bytes.size(), &error));
  EXPECT_EQ(error, "An original shared COM GUID remains in the patched PE section at offset 13.");
}

TEST(ComIdentityOccurrencesTest, OverlappingFormsRefuseTheWholeRange) {
  // Two ProgIDs that share their middle "VirtualBox": either rewrite would be a guess.
  const std::string input = Cat({"x", kServerClass, "VirtualBox.VirtualBox.VirtualBox"});
  const Patched patched = Patch(input);
  EXPECT_FALSE(patched.ok);
  EXPECT_EQ(patched.error,
            "Overlapping COM GUID representations in a PE section; refusing an ambiguous patch.");
  EXPECT_EQ(patched.bytes, input);
  EXPECT_EQ(patched.counters.Total(), 0u);
}

}  // namespace
}  // namespace vellmora::testing
