#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry.h"
#include "support/test_machine.h"
#include "support/wine_detection.h"

namespace {

using namespace platform;
using vellmora::testing::TestMachine;

constexpr RegistryRoot kUser = RegistryRoot::kCurrentUser;
constexpr RegistryRoot kMachine = RegistryRoot::kLocalMachine;
constexpr std::uint32_t kAll = kKeyRead | kKeyWrite | kDelete;

// REG_SZ data as the registry holds it: UTF-16LE with its terminating zero.
std::vector<std::uint8_t> Utf16(const std::u16string& text) {
  std::vector<std::uint8_t> data;
  for (char16_t unit : text) {
    data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  data.push_back(0);
  data.push_back(0);
  return data;
}

std::uint32_t Size(const std::vector<std::uint8_t>& data) {
  return static_cast<std::uint32_t>(data.size());
}

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExW(kUser, machine_.ScratchKey(), kAll, &scratch_), kErrorSuccess);
  }
  std::wstring Sub(const std::wstring& name) const { return machine_.ScratchKey() + L"\\" + name; }

  TestMachine machine_;
  RegistryKey scratch_;
};

TEST_F(RegistryContract, QueriesReportTypeAndSizeInBytesAndAskForMoreRoom) {
  std::vector<std::uint8_t> text = Utf16(u"Vellmora");
  ASSERT_EQ(RegSetValueExW(scratch_, L"Name", kRegSz, text.data(), Size(text)), kErrorSuccess);

  std::uint32_t type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExW(scratch_, L"Name", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 18u);

  std::vector<std::uint8_t> small(4, 0xEE);
  size = Size(small);
  EXPECT_EQ(RegQueryValueExW(scratch_, L"Name", &type, small.data(), &size), kErrorMoreData);
  EXPECT_EQ(size, 18u);

  std::vector<std::uint8_t> exact(18);
  size = Size(exact);
  ASSERT_EQ(RegQueryValueExW(scratch_, L"Name", &type, exact.data(), &size), kErrorSuccess);
  EXPECT_EQ(exact, text);
  EXPECT_EQ(size, 18u);

  std::vector<std::uint8_t> roomy(64, 0xEE);
  size = Size(roomy);
  ASSERT_EQ(RegQueryValueExW(scratch_, L"Name", nullptr, roomy.data(), &size), kErrorSuccess);
  EXPECT_EQ(size, 18u);
  EXPECT_EQ(std::vector<std::uint8_t>(roomy.begin(), roomy.begin() + 18), text);
}

TEST_F(RegistryContract, ValuesKeepTheirTypeAndExactBytes) {
  std::uint8_t dword[4] = {0x2A, 0, 0, 0};
  std::uint8_t binary[3] = {1, 0, 2};
  std::vector<std::uint8_t> expand = Utf16(u"%SystemRoot%\\x");
  struct Case {
    const wchar_t* name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  } cases[] = {
      {L"Dword", kRegDword, {dword, dword + 4}},
      {L"Binary", kRegBinary, {binary, binary + 3}},
      {L"Expand", kRegExpandSz, expand},
      {L"Empty", kRegBinary, {}},
      {L"EightByteDword", kRegDword, {1, 2, 3, 4, 5, 6, 7, 8}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(RegSetValueExW(scratch_, c.name, c.type, c.data.empty() ? nullptr : c.data.data(),
                             Size(c.data)),
              kErrorSuccess)
        << c.name;
  }
  for (const Case& c : cases) {
    std::vector<std::uint8_t> read(32);
    std::uint32_t type = 0, size = Size(read);
    ASSERT_EQ(RegQueryValueExW(scratch_, c.name, &type, read.data(), &size), kErrorSuccess)
        << c.name;
    read.resize(size);
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(read, c.data) << c.name;
  }
}

TEST_F(RegistryContract, TheDefaultValueIsNamedByNullOrEmpty) {
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(scratch_, nullptr, &type, nullptr, &size), kErrorFileNotFound);
  std::vector<std::uint8_t> text = Utf16(u"default");
  ASSERT_EQ(RegSetValueExW(scratch_, nullptr, kRegSz, text.data(), Size(text)), kErrorSuccess);
  ASSERT_EQ(RegQueryValueExW(scratch_, L"", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, Size(text));
  ASSERT_EQ(RegDeleteValueW(scratch_, L""), kErrorSuccess);
  EXPECT_EQ(RegQueryValueExW(scratch_, nullptr, &type, nullptr, &size), kErrorFileNotFound);
}

TEST_F(RegistryContract, KeyAndValueNamesIgnoreLetterCase) {
  RegistryKey created;
  ASSERT_EQ(RegCreateKeyExW(kUser, Sub(L"MixedCase"), kAll, &created), kErrorSuccess);
  std::uint8_t one[4] = {1, 0, 0, 0};
  ASSERT_EQ(RegSetValueExW(created, L"Flag", kRegDword, one, 4), kErrorSuccess);
  RegistryKey opened;
  ASSERT_EQ(RegOpenKeyExW(kUser, Sub(L"MIXEDCASE"), kKeyRead, &opened), kErrorSuccess);
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(opened, L"fLaG", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegDword);
}

TEST_F(RegistryContract, ValuesEnumerateInTheOrderTheyWereFirstCreated) {
  std::uint8_t one[4] = {1, 0, 0, 0};
  for (const wchar_t* name : {L"Zeta", L"alpha", L"Mid", L"alpha", L"Gone", L"Last"}) {
    ASSERT_EQ(RegSetValueExW(scratch_, name, kRegDword, one, 4), kErrorSuccess);
  }
  ASSERT_EQ(RegDeleteValueW(scratch_, L"Gone"), kErrorSuccess);
  std::vector<std::wstring> names;
  std::wstring name;
  std::uint32_t type = 0;
  for (std::uint32_t index = 0; RegEnumValueW(scratch_, index, &name, &type) == kErrorSuccess;
       ++index) {
    names.push_back(name);
    EXPECT_EQ(type, kRegDword);
  }
  EXPECT_EQ(RegEnumValueW(scratch_, 4, &name, &type), kErrorNoMoreItems);
  if (vellmora::testing::RunningUnderWine()) {
    EXPECT_EQ(names, (std::vector<std::wstring>{L"alpha", L"Last", L"Mid", L"Zeta"}));
    GTEST_SKIP() << "Wine enumerates a key's values sorted by name; Windows in creation order";
  }
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Zeta", L"alpha", L"Mid", L"Last"}));
}

TEST_F(RegistryContract, MissingKeysAndValuesAreNotFound) {
  RegistryKey key;
  EXPECT_EQ(RegOpenKeyExW(kUser, Sub(L"Missing"), kKeyRead, &key), kErrorFileNotFound);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(RegOpenKeyExW(kUser, Sub(L"Missing\\Deeper"), kKeyRead, &key), kErrorFileNotFound);
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(scratch_, L"Missing", &type, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(RegDeleteValueW(scratch_, L"Missing"), kErrorFileNotFound);
  EXPECT_EQ(RegDeleteTreeW(scratch_, L"Missing"), kErrorFileNotFound);
}

TEST_F(RegistryContract, CreateMakesMissingParentsAndDeleteTreeRemovesEverythingBelow) {
  RegistryKey deep;
  ASSERT_EQ(RegCreateKeyExW(kUser, Sub(L"Tree\\Branch\\Leaf"), kAll, &deep), kErrorSuccess);
  std::uint8_t one[4] = {1, 0, 0, 0};
  ASSERT_EQ(RegSetValueExW(deep, L"Value", kRegDword, one, 4), kErrorSuccess);
  deep.Close();
  RegistryKey sibling;
  ASSERT_EQ(RegCreateKeyExW(kUser, Sub(L"Sibling"), kAll, &sibling), kErrorSuccess);

  ASSERT_EQ(RegDeleteTreeW(scratch_, L"Tree"), kErrorSuccess);
  RegistryKey probe;
  EXPECT_EQ(RegOpenKeyExW(kUser, Sub(L"Tree\\Branch\\Leaf"), kKeyRead, &probe), kErrorFileNotFound);
  EXPECT_EQ(RegOpenKeyExW(kUser, Sub(L"Tree"), kKeyRead, &probe), kErrorFileNotFound);
  EXPECT_EQ(RegOpenKeyExW(kUser, Sub(L"Sibling"), kKeyRead, &probe), kErrorSuccess);
  EXPECT_EQ(RegDeleteTreeW(scratch_, L"Tree"), kErrorFileNotFound);
}

TEST_F(RegistryContract, AKeyDeletedWhileOpenReportsKeyDeleted) {
  RegistryKey doomed;
  ASSERT_EQ(RegCreateKeyExW(kUser, Sub(L"Doomed"), kAll, &doomed), kErrorSuccess);
  ASSERT_EQ(RegDeleteTreeW(scratch_, L"Doomed"), kErrorSuccess);
  std::uint8_t one[4] = {1, 0, 0, 0};
  EXPECT_EQ(RegSetValueExW(doomed, L"Value", kRegDword, one, 4), kErrorKeyDeleted);
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(doomed, L"Value", &type, nullptr, &size), kErrorKeyDeleted);

  // A new key of the same name is not the one the handle had.
  RegistryKey reborn;
  ASSERT_EQ(RegCreateKeyExW(kUser, Sub(L"Doomed"), kAll, &reborn), kErrorSuccess);
  EXPECT_EQ(RegSetValueExW(doomed, L"Value", kRegDword, one, 4), kErrorKeyDeleted);
}

TEST_F(RegistryContract, AKeyOpenedForReadingCannotBeWritten) {
  RegistryKey reader;
  ASSERT_EQ(RegOpenKeyExW(kUser, machine_.ScratchKey(), kKeyRead, &reader), kErrorSuccess);
  std::uint8_t one[4] = {1, 0, 0, 0};
  EXPECT_EQ(RegSetValueExW(reader, L"Value", kRegDword, one, 4), kErrorAccessDenied);
}

// HKLM writes are allowed only to an elevated process; the machine test key is removed after.
class MachineRegistryContract : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring& scratch = machine_.ScratchKey();
    unique_ = scratch.substr(scratch.rfind(L'\\') + 1);
    native_ = L"SOFTWARE\\VellmoraContractTests\\" + unique_;
    redirected_ = L"SOFTWARE\\WOW6432Node\\VellmoraContractTests\\" + unique_;
  }
  void TearDown() override {
    for (std::uint32_t view : {kKeyWow64_64Key, kKeyWow64_32Key}) {
      RegistryKey parent;
      if (RegOpenKeyExW(kMachine, L"SOFTWARE\\VellmoraContractTests", kAll | view, &parent) ==
          kErrorSuccess) {
        RegDeleteTreeW(parent, unique_);
      }
    }
  }

  TestMachine machine_;
  std::wstring unique_, native_, redirected_;
};

TEST_F(MachineRegistryContract, TheThirtyTwoBitViewLivesBelowWow6432Node) {
  RegistryKey key32;
  Win32Error created = RegCreateKeyExW(kMachine, native_, kAll | kKeyWow64_32Key, &key32);
  if (created == kErrorAccessDenied) GTEST_SKIP() << "HKLM is not writable without elevation";
  ASSERT_EQ(created, kErrorSuccess);
  std::uint8_t seven[4] = {7, 0, 0, 0};
  ASSERT_EQ(RegSetValueExW(key32, L"View", kRegDword, seven, 4), kErrorSuccess);

  RegistryKey native;
  EXPECT_EQ(RegOpenKeyExW(kMachine, native_, kKeyRead | kKeyWow64_64Key, &native),
            kErrorFileNotFound);
  RegistryKey through_node;
  ASSERT_EQ(RegOpenKeyExW(kMachine, redirected_, kKeyRead | kKeyWow64_64Key, &through_node),
            kErrorSuccess);
  std::uint8_t read[4] = {};
  std::uint32_t type = 0, size = sizeof read;
  ASSERT_EQ(RegQueryValueExW(through_node, L"View", &type, read, &size), kErrorSuccess);
  EXPECT_EQ(read[0], 7);

  RegistryKey key64;
  ASSERT_EQ(RegCreateKeyExW(kMachine, native_, kAll | kKeyWow64_64Key, &key64), kErrorSuccess);
  size = sizeof read;
  EXPECT_EQ(RegQueryValueExW(key64, L"View", &type, read, &size), kErrorFileNotFound);
}

TEST_F(RegistryContract, SubKeysEnumerateAlphabeticallyWithTheLongestNameReported) {
  for (const wchar_t* name : {L"beta", L"Alpha", L"gamma-longest"}) {
    RegistryKey child;
    ASSERT_EQ(RegCreateKeyExW(kUser, Sub(name), kAll, &child), kErrorSuccess);
  }
  RegistryKey parent;
  ASSERT_EQ(RegOpenKeyExW(kUser, machine_.ScratchKey(), kKeyQueryValue | kKeyEnumerateSubKeys,
                          &parent),
            kErrorSuccess);
  std::uint32_t count = 0, longest = 0;
  ASSERT_EQ(RegQueryInfoKeyW(parent, &count, &longest), kErrorSuccess);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(longest, 13u);

  std::vector<std::wstring> names;
  std::wstring name;
  for (std::uint32_t index = 0; RegEnumKeyExW(parent, index, longest + 1, &name) == kErrorSuccess;
       ++index) {
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Alpha", L"beta", L"gamma-longest"}));
  EXPECT_EQ(RegEnumKeyExW(parent, 3, longest + 1, &name), kErrorNoMoreItems);
  // The buffer counts the terminating zero.
  EXPECT_EQ(RegEnumKeyExW(parent, 2, longest, &name), kErrorMoreData);
}

// HKEY_CLASSES_ROOT over a class key of this test's own in both the machine's and the user's
// classes; removed after.
class ClassesRootContract : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring& scratch = machine_.ScratchKey();
    class_ = L"VellmoraContract." + scratch.substr(scratch.rfind(L'\\') + 1);
  }
  void TearDown() override {
    for (RegistryRoot root : {kMachine, kUser}) {
      RegistryKey classes;
      if (RegOpenKeyExW(root, root == kMachine ? L"SOFTWARE\\Classes" : L"Software\\Classes",
                        kAll | (root == kMachine ? kKeyWow64_64Key : 0), &classes) == kErrorSuccess) {
        RegDeleteTreeW(classes, class_);
      }
    }
  }
  Win32Error Write(RegistryRoot root, const std::wstring& key, const std::u16string& text) {
    RegistryKey opened;
    std::wstring path = (root == kMachine ? L"SOFTWARE\\Classes\\" : L"Software\\Classes\\") + key;
    Win32Error error =
        RegCreateKeyExW(root, path, kAll | (root == kMachine ? kKeyWow64_64Key : 0), &opened);
    if (error != kErrorSuccess) return error;
    std::vector<std::uint8_t> data = Utf16(text);
    return RegSetValueExW(opened, nullptr, kRegSz, data.data(), Size(data));
  }
  std::u16string Read(const std::wstring& key) {
    RegistryKey opened;
    if (RegOpenKeyExW(RegistryRoot::kClassesRoot, key, kKeyQueryValue | kKeyWow64_64Key,
                      &opened) != kErrorSuccess) {
      return u"<absent>";
    }
    std::uint8_t data[256] = {};
    std::uint32_t type = 0, size = sizeof data;
    if (RegQueryValueExW(opened, nullptr, &type, data, &size) != kErrorSuccess) return u"<none>";
    std::u16string text;
    for (std::uint32_t i = 0; i + 1 < size && (data[i] || data[i + 1]); i += 2) {
      text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    return text;
  }

  TestMachine machine_;
  std::wstring class_;
};

TEST_F(ClassesRootContract, AUserKeyHidesTheMachinesAndSubKeysComeFromBoth) {
  Win32Error written = Write(kMachine, class_ + L"\\Shared", u"machine");
  if (written == kErrorAccessDenied) GTEST_SKIP() << "HKLM is not writable without elevation";
  ASSERT_EQ(written, kErrorSuccess);
  ASSERT_EQ(Write(kMachine, class_ + L"\\MachineOnly", u"machine only"), kErrorSuccess);
  EXPECT_EQ(Read(class_ + L"\\shared"), u"machine");

  ASSERT_EQ(Write(kUser, class_ + L"\\Shared", u"user"), kErrorSuccess);
  ASSERT_EQ(Write(kUser, class_ + L"\\UserOnly", u"user only"), kErrorSuccess);
  if (vellmora::testing::RunningUnderWine() && Read(class_ + L"\\Shared") == u"machine") {
    GTEST_SKIP() << "Wine's HKEY_CLASSES_ROOT shows only the machine's classes";
  }
  EXPECT_EQ(Read(class_ + L"\\Shared"), u"user");
  EXPECT_EQ(Read(class_ + L"\\MachineOnly"), u"machine only");
  EXPECT_EQ(Read(class_ + L"\\UserOnly"), u"user only");
  EXPECT_EQ(Read(class_ + L"\\Neither"), u"<absent>");

  RegistryKey parent;
  ASSERT_EQ(RegOpenKeyExW(RegistryRoot::kClassesRoot, class_,
                          kKeyQueryValue | kKeyEnumerateSubKeys | kKeyWow64_64Key, &parent),
            kErrorSuccess);
  std::uint32_t count = 0, longest = 0;
  ASSERT_EQ(RegQueryInfoKeyW(parent, &count, &longest), kErrorSuccess);
  std::vector<std::wstring> names;
  std::wstring name;
  for (std::uint32_t index = 0; RegEnumKeyExW(parent, index, longest + 1, &name) == kErrorSuccess;
       ++index) {
    names.push_back(name);
  }
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"MachineOnly", L"Shared", L"UserOnly"}));
}

}  // namespace
