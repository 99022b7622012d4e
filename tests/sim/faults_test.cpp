// Fault injection: what the sim makes fail on request, and the failures it produces by itself.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fork_child.h"
#include "platform/files.h"
#include "platform/network.h"
#include "platform/registry.h"
#include "platform/sim/sim_control.h"
#include "platform/volumes.h"
#include "support/test_machine.h"

namespace {

using namespace platform;
using vellmora::testing::ReadTestFile;
using vellmora::testing::TestMachine;
using vellmora::testing::WriteTestFile;

constexpr std::uint32_t kAll = kKeyRead | kKeyWrite | kDelete;

sim::Fault MakeFault(const std::string& kind, const std::wstring& pattern, int nth,
                     Win32Error error) {
  sim::Fault fault;
  fault.kind = kind;
  fault.path_pattern = pattern;
  fault.nth = nth;
  fault.error = error;
  return fault;
}

class SimFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteTestFile(L"C:\\Sandbox\\file.txt", "content"));
    ASSERT_EQ(CreateDirectoryW(L"C:\\Sandbox\\dir"), kErrorSuccess);
    ASSERT_EQ(RegCreateKeyExW(RegistryRoot::kCurrentUser, L"Software\\Faults", kAll, &key_),
              kErrorSuccess);
  }

  TestMachine machine_;
  RegistryKey key_;
};

TEST_F(SimFaults, EveryKindFailsItsOperationOnceWithTheGivenError) {
  constexpr Win32Error kInjected = 1234;
  std::uint8_t data[4] = {};
  struct Case {
    const char* kind;
    std::wstring pattern;
    std::function<Win32Error()> operation;
  } cases[] = {
      {"create_file", L"C:\\Sandbox\\file.txt",
       [] {
         UniqueHandle file;
         return CreateFileW(L"C:\\Sandbox\\file.txt", kGenericRead, kShareAll, kOpenExisting, 0,
                            &file);
       }},
      {"read", L"C:\\Sandbox\\file.txt",
       [] {
         UniqueHandle file;
         CreateFileW(L"C:\\Sandbox\\file.txt", kGenericRead, kShareAll, kOpenExisting, 0, &file);
         char buffer[4];
         std::uint32_t got = 0;
         return ReadFile(file.Get(), buffer, sizeof buffer, &got);
       }},
      {"write", L"C:\\Sandbox\\file.txt",
       [] {
         UniqueHandle file;
         CreateFileW(L"C:\\Sandbox\\file.txt", kGenericWrite, kShareAll, kOpenExisting, 0, &file);
         std::uint32_t written = 0;
         return WriteFile(file.Get(), "x", 1, &written);
       }},
      {"flush", L"C:\\Sandbox\\file.txt",
       [] {
         UniqueHandle file;
         CreateFileW(L"C:\\Sandbox\\file.txt", kGenericWrite, kShareAll, kOpenExisting, 0, &file);
         return FlushFileBuffers(file.Get());
       }},
      {"copy", L"C:\\Sandbox\\copy.txt",
       [] { return CopyFileW(L"C:\\Sandbox\\file.txt", L"C:\\Sandbox\\copy.txt", false); }},
      {"move", L"C:\\Sandbox\\moved.txt",
       [] { return MoveFileExW(L"C:\\Sandbox\\file.txt", L"C:\\Sandbox\\moved.txt", 0); }},
      {"replace", L"C:\\Sandbox\\file.txt",
       [] {
         WriteTestFile(L"C:\\Sandbox\\new.tmp", "new");
         return ReplaceFileW(L"C:\\Sandbox\\file.txt", L"C:\\Sandbox\\new.tmp", 0);
       }},
      {"delete_file", L"C:\\Sandbox\\file.txt",
       [] { return DeleteFileW(L"C:\\Sandbox\\file.txt"); }},
      {"create_directory", L"C:\\Sandbox\\new",
       [] { return CreateDirectoryW(L"C:\\Sandbox\\new"); }},
      {"remove_directory", L"C:\\Sandbox\\dir",
       [] { return RemoveDirectoryW(L"C:\\Sandbox\\dir"); }},
      {"set_attributes", L"C:\\Sandbox\\file.txt",
       [] { return SetFileAttributesW(L"C:\\Sandbox\\file.txt", kAttributeHidden); }},
      {"list_directory", L"C:\\Sandbox",
       [] {
         std::vector<DirectoryEntry> entries;
         return ListDirectory(L"C:\\Sandbox", &entries);
       }},
      {"reg_create", L"HKCU\\Software\\Faults\\New",
       [] {
         RegistryKey key;
         return RegCreateKeyExW(RegistryRoot::kCurrentUser, L"Software\\Faults\\New", kAll, &key);
       }},
      {"reg_open", L"HKCU\\Software\\Faults",
       [] {
         RegistryKey key;
         return RegOpenKeyExW(RegistryRoot::kCurrentUser, L"Software\\Faults", kKeyRead, &key);
       }},
      {"reg_set", L"HKCU\\Software\\Faults",
       [&] { return RegSetValueExW(key_, L"Value", kRegDword, data, 4); }},
      {"reg_query", L"HKCU\\Software\\Faults",
       [&] {
         std::uint32_t type = 0, size = 0;
         return RegQueryValueExW(key_, L"Value", &type, nullptr, &size);
       }},
      {"reg_delete_value", L"HKCU\\Software\\Faults",
       [&] { return RegDeleteValueW(key_, L"Value"); }},
      {"reg_delete_tree", L"HKCU\\Software\\Faults\\New",
       [&] { return RegDeleteTreeW(key_, L"New"); }},
      {"tcp_table", L"*",
       [] {
         std::vector<std::uint16_t> ports;
         return GetTcpListenerPorts(&ports);
       }},
  };
  // Undo what a successful operation changed, so that the next case starts from the fixture.
  auto restore = [] {
    MoveFileExW(L"C:\\Sandbox\\moved.txt", L"C:\\Sandbox\\file.txt", 0);
    if (GetFileAttributesW(L"C:\\Sandbox\\file.txt") == kInvalidFileAttributes) {
      WriteTestFile(L"C:\\Sandbox\\file.txt", "content");
    }
    CreateDirectoryW(L"C:\\Sandbox\\dir");
    RemoveDirectoryW(L"C:\\Sandbox\\new");
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    sim::InjectFault(MakeFault(c.kind, c.pattern, 1, kInjected));
    EXPECT_EQ(c.operation(), kInjected);
    EXPECT_EQ(c.operation(), kErrorSuccess);  // once only
    restore();
  }
}

TEST_F(SimFaults, TheNthMatchingOperationFailsAndOthersDoNotCount) {
  sim::InjectFault(MakeFault("move", L"c:\\SANDBOX\\*.log", 2, kErrorSharingViolation));
  ASSERT_TRUE(WriteTestFile(L"C:\\Sandbox\\a.log", "a"));
  // Not matching: neither counted nor failed.
  EXPECT_EQ(MoveFileExW(L"C:\\Sandbox\\file.txt", L"C:\\Sandbox\\file2.txt", 0), kErrorSuccess);
  EXPECT_EQ(MoveFileExW(L"C:\\Sandbox\\a.log", L"C:\\Sandbox\\b.log", 0), kErrorSuccess);
  EXPECT_EQ(MoveFileExW(L"C:\\Sandbox\\b.log", L"C:\\Sandbox\\c.log", 0), kErrorSharingViolation);
  EXPECT_NE(GetFileAttributesW(L"C:\\Sandbox\\b.log"), kInvalidFileAttributes);
  EXPECT_EQ(MoveFileExW(L"C:\\Sandbox\\b.log", L"C:\\Sandbox\\c.log", 0), kErrorSuccess);
}

TEST_F(SimFaults, ClearFaultsDisarmsEverything) {
  sim::InjectFault(MakeFault("delete_file", L"*", 1, kErrorAccessDenied));
  sim::ClearFaults();
  EXPECT_EQ(DeleteFileW(L"C:\\Sandbox\\file.txt"), kErrorSuccess);
}

TEST_F(SimFaults, RegistryFaultsMatchTheRedirectedThirtyTwoBitPath) {
  sim::InjectFault(
      MakeFault("reg_create", L"HKLM\\SOFTWARE\\WOW6432Node\\Vellmora*", 1, kErrorAccessDenied));
  RegistryKey key;
  EXPECT_EQ(RegCreateKeyExW(RegistryRoot::kLocalMachine, L"SOFTWARE\\Vellmora", kAll, &key),
            kErrorSuccess);
  EXPECT_EQ(RegCreateKeyExW(RegistryRoot::kLocalMachine, L"SOFTWARE\\Vellmora",
                            kAll | kKeyWow64_32Key, &key),
            kErrorAccessDenied);
}

TEST_F(SimFaults, MachineFaultsArmInProcessesStartedLater) {
  sim::AddMachineFault(MakeFault("write", L"C:\\Sandbox\\*", 1, kErrorWriteFault));
  EXPECT_TRUE(WriteTestFile(L"C:\\Sandbox\\before.txt", "x"));
  sim::UseMachine(machine_.SimRoot());  // as a process starting now
  EXPECT_FALSE(WriteTestFile(L"C:\\Sandbox\\after.txt", "x"));
  EXPECT_TRUE(WriteTestFile(L"C:\\Sandbox\\after.txt", "x"));
}

TEST_F(SimFaults, WritesThatWouldOutgrowTheFreeSpaceFailWithDiskFull) {
  sim::SetFreeBytes('C', 10);
  UniqueHandle file;
  ASSERT_EQ(CreateFileW(L"C:\\Sandbox\\big.bin", kGenericWrite, kShareAll, kCreateAlways, 0, &file),
            kErrorSuccess);
  std::uint32_t written = 0;
  EXPECT_EQ(WriteFile(file.Get(), "0123456789A", 11, &written), kErrorDiskFull);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(WriteFile(file.Get(), "0123456789", 10, &written), kErrorSuccess);
  file.Reset();
  // Rewriting bytes that exist needs no space; a copy needs room for all of them.
  EXPECT_TRUE(WriteTestFile(L"C:\\Sandbox\\big.bin", "abcdefghij"));
  EXPECT_EQ(CopyFileW(L"C:\\Sandbox\\big.bin", L"C:\\Sandbox\\copy.bin", false), kErrorSuccess);
  sim::SetFreeBytes('D', 3);
  EXPECT_EQ(MoveFileExW(L"C:\\Sandbox\\big.bin", L"D:\\big.bin", kMoveCopyAllowed), kErrorDiskFull);
  EXPECT_NE(GetFileAttributesW(L"C:\\Sandbox\\big.bin"), kInvalidFileAttributes);
}

using SimFaultsDeathTest = SimFaults;

TEST_F(SimFaultsDeathTest, AnUnknownKindIsAMistakeInTheTest) {
  EXPECT_DEATH(sim::InjectFault(MakeFault("rename", L"*", 1, 5)), "unknown fault kind \"rename\"");
}

TEST_F(SimFaults, TheCrashAndThrowValuesBreakTheOperationItself) {
  sim::InjectFault(MakeFault("create_file", L"C:\\Sandbox\\file.txt", 1, sim::kFaultThrow));
  UniqueHandle file;
  EXPECT_THROW(CreateFileW(L"C:\\Sandbox\\file.txt", kGenericRead, kShareAll, kOpenExisting, 0,
                           &file),
               std::runtime_error);
  EXPECT_EQ(CreateFileW(L"C:\\Sandbox\\file.txt", kGenericRead, kShareAll, kOpenExisting, 0,
                        &file),
            kErrorSuccess)
      << "once";
  auto crashed = sim_tests::RunInChild([] {
    sim::InjectFault(MakeFault("delete_file", L"*", 1, sim::kFaultCrash));
    DeleteFileW(L"C:\\Sandbox\\file.txt");
    return 0;
  });
  // A segmentation fault ends the child (AddressSanitizer reports it and exits instead).
  EXPECT_FALSE(crashed.exited && crashed.code == 0) << "the operation returned";
  EXPECT_NE(GetFileAttributesW(L"C:\\Sandbox\\file.txt"), kInvalidFileAttributes)
      << "the crash came before the deletion";
}

}  // namespace

