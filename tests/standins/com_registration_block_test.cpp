#include "standins/com_registration_block.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

using standins::RegistrationEntry;

std::string Folded(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

// A registry as a map of (key, value name) to data; deletion compares key names as the registry
// does, without regard to case.
class MemoryTarget : public standins::RegistrationTarget {
 public:
  bool SetString(const std::string& key, const std::string& value_name, const std::string& data,
                 std::string* error) override {
    if (key == fail_key) {
      *error = "denied: " + key;
      return false;
    }
    values[{key, value_name}] = data;
    return true;
  }
  bool DeleteTree(const std::string& key, std::string* error) override {
    deleted.push_back(key);
    if (key == fail_key) {
      *error = "denied: " + key;
      return false;
    }
    const std::string gone = Folded(key);
    for (auto it = values.begin(); it != values.end();) {
      const std::string name = Folded(it->first.first);
      it = name == gone || name.rfind(gone + "\\", 0) == 0 ? values.erase(it) : std::next(it);
    }
    return true;
  }
  std::map<std::pair<std::string, std::string>, std::string> values;
  std::vector<std::string> deleted;
  std::string fail_key;
};

const std::string kBlock =
    "VELLMORA-COM-REGISTRATION 1\n"
    "CLSID\\{AE316C2B-C93A-4B56-93F9-696F59A5E91F}|@|VirtualBox Class\n"
    "CLSID\\{AE316C2B-C93A-4B56-93F9-696F59A5E91F}\\LocalServer32|@|\"%MODULE%\"\n"
    "CLSID\\{AE316C2B-C93A-4B56-93F9-696F59A5E91F}|AppID|{780F9948-8F17-41BD-BB08-3DB2F47684B8}\n"
    "TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}\\1.3\\HELPDIR|@|%MODULE_DIR%\n"
    "AppID\\KolvSVC.exe|AppID|{780F9948-8F17-41BD-BB08-3DB2F47684B8}\n"
    "VirtualBox.VirtualBox.1\\CLSID|@|{AE316C2B-C93A-4B56-93F9-696F59A5E91F}\n"
    "virtualbox.virtualbox.1|@|a|b with bars\n";

TEST(ComRegistrationBlock, FoundInsideABinaryUpToItsZeroByte) {
  // The header alone, as a parser linked into the binary holds it, is not a block.
  std::string image = std::string("MZ\0\0junk", 8) + std::string(standins::kRegistrationBlockHeader) +
                      std::string(1, '\0') + kBlock + std::string("\0tail", 5);
  std::string_view block;
  std::string error;
  ASSERT_TRUE(standins::FindRegistrationBlock(image, &block, &error)) << error;
  EXPECT_EQ(block, kBlock);

  struct Case {
    const char* name;
    std::string image;
  };
  const Case refused[] = {
      {"no block", std::string("MZ\0\0", 4)},
      {"no zero byte", "MZ" + kBlock},
      {"two blocks", kBlock + std::string(1, '\0') + kBlock + std::string(1, '\0')},
  };
  for (const Case& c : refused)
    EXPECT_FALSE(standins::FindRegistrationBlock(c.image, &block, &error)) << c.name;
}

TEST(ComRegistrationBlock, MalformedBlocksAreRefusedWithTheirLine) {
  struct Case {
    const char* block;
    const char* error_part;
  };
  const Case cases[] = {
      {"VELLMORA-COM-REGISTRATION 2\nA|@|x\n", "header"},
      {"VELLMORA-COM-REGISTRATION 1\n", "no entry"},
      {"VELLMORA-COM-REGISTRATION 1\nA|@|x", "line 2 has no line feed"},
      {"VELLMORA-COM-REGISTRATION 1\nA|@|x\r\n", "carriage return"},
      {"VELLMORA-COM-REGISTRATION 1\nA|@|x\nB|x\n", "line 3 is not key|value|data"},
      {"VELLMORA-COM-REGISTRATION 1\n|@|x\n", "no valid key"},
      {"VELLMORA-COM-REGISTRATION 1\n\\CLSID|@|x\n", "no valid key"},
      {"VELLMORA-COM-REGISTRATION 1\nCLSID\\\\X|@|x\n", "no valid key"},
      {"VELLMORA-COM-REGISTRATION 1\nCLSID\\|@|x\n", "no valid key"},
      {"VELLMORA-COM-REGISTRATION 1\nCLSID||x\n", "names no value"},
  };
  for (const Case& c : cases) {
    std::vector<RegistrationEntry> entries;
    std::string error;
    EXPECT_FALSE(standins::ParseRegistrationBlock(c.block, &entries, &error)) << c.block;
    EXPECT_NE(error.find(c.error_part), std::string::npos) << c.block << " gave: " << error;
  }
}

TEST(ComRegistrationBlock, AppliesEveryValueWithTheModuleTokensExpanded) {
  MemoryTarget target;
  std::string error;
  ASSERT_TRUE(standins::RegisterFromImage(kBlock + std::string(1, '\0'),
                                          "C:\\Program Files\\Vellmora\\VLMServ.exe", &target,
                                          &error))
      << error;
  const std::string clsid = "CLSID\\{AE316C2B-C93A-4B56-93F9-696F59A5E91F}";
  EXPECT_EQ(target.values.at({clsid + "\\LocalServer32", ""}),
            "\"C:\\Program Files\\Vellmora\\VLMServ.exe\"");
  EXPECT_EQ(target.values.at({clsid, ""}), "VirtualBox Class");
  EXPECT_EQ(target.values.at({clsid, "AppID"}), "{780F9948-8F17-41BD-BB08-3DB2F47684B8}");
  EXPECT_EQ(target.values.at({"TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}\\1.3\\HELPDIR", ""}),
            "C:\\Program Files\\Vellmora");
  // Only the first two bars separate: data may hold more.
  EXPECT_EQ(target.values.at({"virtualbox.virtualbox.1", ""}), "a|b with bars");
  EXPECT_EQ(target.values.size(), 7u);
}

TEST(ComRegistrationBlock, RemovalDeletesEachOwningKeyOnceAndTriesThemAll) {
  std::vector<RegistrationEntry> entries;
  std::string error;
  ASSERT_TRUE(standins::ParseRegistrationBlock(kBlock, &entries, &error)) << error;
  const std::vector<std::string> expected = {
      "CLSID\\{AE316C2B-C93A-4B56-93F9-696F59A5E91F}",
      "TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}", "AppID\\KolvSVC.exe",
      "VirtualBox.VirtualBox.1"};
  EXPECT_EQ(standins::OwningKeys(entries), expected);

  MemoryTarget target;
  ASSERT_TRUE(standins::ApplyRegistration(entries, "C:\\x\\s.exe", &target, &error));
  target.values[{"CLSID\\{OTHER}", ""}] = "kept";
  target.fail_key = "TypeLib\\{0582363E-7A11-46B1-9A3C-DF675EA24589}";
  EXPECT_FALSE(standins::RemoveRegistration(entries, &target, &error));
  EXPECT_EQ(error, "denied: " + target.fail_key);
  EXPECT_EQ(target.deleted, expected);
  // What failed to go stays; everything else of the block is gone, nothing else is touched.
  EXPECT_EQ(target.values.size(), 2u);
  EXPECT_EQ(target.values.count({"CLSID\\{OTHER}", ""}), 1u);
}

TEST(ComRegistrationBlock, ApplyStopsAtTheFirstFailedWrite) {
  std::vector<RegistrationEntry> entries;
  std::string error;
  ASSERT_TRUE(standins::ParseRegistrationBlock(kBlock, &entries, &error));
  MemoryTarget target;
  target.fail_key = "AppID\\KolvSVC.exe";
  EXPECT_FALSE(standins::ApplyRegistration(entries, "C:\\x\\s.exe", &target, &error));
  EXPECT_EQ(error, "denied: AppID\\KolvSVC.exe");
  EXPECT_EQ(target.values.count({"VirtualBox.VirtualBox.1\\CLSID", ""}), 0u);
}

}  // namespace
