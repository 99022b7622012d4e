// Child processes, pipes, the process snapshot, temporary file names and the module's own
// resources.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/path_helpers.h"
#include "app/text.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/resources.h"
#include "platform/system.h"
#include "platform/sync.h"
#include "support/child_process.h"
#include "support/test_machine.h"

namespace {

using namespace platform;
using vellmora::testing::StartableOnMachine;
using vellmora::testing::TestMachine;

class ProcessContract : public ::testing::Test {
 protected:
  std::wstring ChildCommand(const std::wstring& arguments) {
    return L"\"" + StartableOnMachine(VELLMORA_CHILD_TOOL_EXE, machine_, L"child.exe") + L"\" " +
           arguments;
  }

  // Starts the child with standard output and error on the write end; the caller's copy of it
  // is closed afterwards, as a parent must do to see the end of the output.
  Win32Error Start(const std::wstring& arguments, UniqueHandle* write_end, bool inherit,
                   ProcessInformation* child) {
    StartupInfo startup;
    startup.use_show_window = true;
    startup.use_std_handles = true;
    startup.std_output = startup.std_error = write_end->Get();
    Win32Error error =
        CreateProcessW(ChildCommand(arguments), inherit, kCreateNoWindow, startup, child);
    write_end->Reset();
    return error;
  }

  static std::string ReadToEnd(RawHandle pipe) {
    std::string text;
    char buffer[256];
    for (;;) {
      std::uint32_t got = 0;
      Win32Error error = ReadFile(pipe, buffer, sizeof buffer, &got);
      if (error == kErrorBrokenPipe) return text;
      if (error != kErrorSuccess) return text + "<error " + std::to_string(error) + ">";
      text.append(buffer, got);
    }
  }

  TestMachine machine_;
};

TEST_F(ProcessContract, APipeReportsWhatWaitsAndItsEnd) {
  UniqueHandle read_end, write_end;
  ASSERT_EQ(CreatePipe(false, &read_end, &write_end), kErrorSuccess);
  std::uint32_t waiting = 99;
  ASSERT_EQ(PeekNamedPipe(read_end.Get(), &waiting), kErrorSuccess);
  EXPECT_EQ(waiting, 0u);
  std::uint32_t written = 0;
  ASSERT_EQ(WriteFile(write_end.Get(), "abc", 3, &written), kErrorSuccess);
  ASSERT_EQ(PeekNamedPipe(read_end.Get(), &waiting), kErrorSuccess);
  EXPECT_EQ(waiting, 3u);
  char buffer[16] = {};
  std::uint32_t got = 0;
  ASSERT_EQ(ReadFile(read_end.Get(), buffer, sizeof buffer, &got), kErrorSuccess)
      << "a pipe read returns what is there without waiting for a full buffer";
  EXPECT_EQ(std::string(buffer, got), "abc");
  write_end.Reset();
  EXPECT_EQ(PeekNamedPipe(read_end.Get(), &waiting), kErrorBrokenPipe);
  EXPECT_EQ(ReadFile(read_end.Get(), buffer, sizeof buffer, &got), kErrorBrokenPipe);
}

TEST_F(ProcessContract, AChildWritesIntoAnInheritedPipeAndEndsWithItsCode) {
  UniqueHandle read_end, write_end;
  ASSERT_EQ(CreatePipe(true, &read_end, &write_end), kErrorSuccess);
  ASSERT_EQ(SetHandleInformation(read_end.Get(), kHandleFlagInherit, 0), kErrorSuccess);
  ProcessInformation child;
  ASSERT_EQ(Start(L"print hello 4", &write_end, true, &child), kErrorSuccess);
  EXPECT_NE(child.process_id, 0u);
  EXPECT_EQ(ReadToEnd(read_end.Get()), "hellohello");
  ASSERT_EQ(WaitForSingleObject(child.process.Get(), 30000), kWaitObject0);
  std::uint32_t code = 0;
  ASSERT_EQ(GetExitCodeProcess(child.process.Get(), &code), kErrorSuccess);
  EXPECT_EQ(code, 4u);
}

TEST_F(ProcessContract, AHandleThatIsNotInheritableNeverReachesTheChild) {
  UniqueHandle read_end, write_end;
  ASSERT_EQ(CreatePipe(false, &read_end, &write_end), kErrorSuccess);
  ProcessInformation child;
  ASSERT_EQ(Start(L"print hello 0", &write_end, true, &child), kErrorSuccess);
  ASSERT_EQ(WaitForSingleObject(child.process.Get(), 30000), kWaitObject0);
  EXPECT_EQ(ReadToEnd(read_end.Get()), "");
}

TEST_F(ProcessContract, ATerminatedChildEndsWithTheGivenCode) {
  UniqueHandle read_end, write_end;
  ASSERT_EQ(CreatePipe(true, &read_end, &write_end), kErrorSuccess);
  ASSERT_EQ(SetHandleInformation(read_end.Get(), kHandleFlagInherit, 0), kErrorSuccess);
  ProcessInformation child;
  ASSERT_EQ(Start(L"sleep 30000", &write_end, true, &child), kErrorSuccess);
  std::uint32_t code = 0;
  ASSERT_EQ(GetExitCodeProcess(child.process.Get(), &code), kErrorSuccess);
  EXPECT_EQ(code, kStillActive);
  EXPECT_EQ(WaitForSingleObject(child.process.Get(), 50), kWaitTimeout);
  ASSERT_EQ(TerminateProcess(child.process.Get(), 1460), kErrorSuccess);
  ASSERT_EQ(WaitForSingleObject(child.process.Get(), 5000), kWaitObject0);
  ASSERT_EQ(GetExitCodeProcess(child.process.Get(), &code), kErrorSuccess);
  EXPECT_EQ(code, 1460u);
  EXPECT_EQ(WaitForSingleObject(child.thread.Get(), 5000), kWaitObject0);
  // Windows refuses to terminate an ended process, Wine accepts; either way nothing changes.
  TerminateProcess(child.process.Get(), 7);
  ASSERT_EQ(GetExitCodeProcess(child.process.Get(), &code), kErrorSuccess);
  EXPECT_EQ(code, 1460u);
}

TEST_F(ProcessContract, TheSnapshotListsRunningProcessesWhichOpenToTheirImagePath) {
  const std::wstring program = StartableOnMachine(VELLMORA_CHILD_TOOL_EXE, machine_, L"child.exe");
  ProcessInformation child;
  ASSERT_EQ(CreateProcessW(L"\"" + program + L"\" sleep 30000", false, kCreateNoWindow, {},
                           &child),
            kErrorSuccess);
  std::vector<ProcessEntry> entries;
  ASSERT_EQ(ListProcesses(&entries), kErrorSuccess);
  auto listed = [&](std::uint32_t id) {
    return std::find_if(entries.begin(), entries.end(),
                        [&](const ProcessEntry& entry) { return entry.process_id == id; });
  };
  EXPECT_NE(listed(GetCurrentProcessId()), entries.end());
  auto entry = listed(child.process_id);
  ASSERT_NE(entry, entries.end());
  EXPECT_TRUE(vellmora::EqualsIgnoringCase(entry->exe_file, L"child.exe") ||
              vellmora::EqualsIgnoringCase(entry->exe_file, L"child_tool.exe"))
      << vellmora::ToUtf8(entry->exe_file);

  UniqueHandle opened;
  ASSERT_EQ(OpenProcess(kProcessTerminate | kProcessQueryLimitedInformation | kSynchronize,
                        child.process_id, &opened),
            kErrorSuccess);
  Path image;
  ASSERT_EQ(QueryFullProcessImageNameW(opened.Get(), &image), kErrorSuccess);
  EXPECT_EQ(vellmora::PathKey(image), vellmora::PathKey(program));
  ASSERT_EQ(TerminateProcess(opened.Get(), 0), kErrorSuccess);
  EXPECT_EQ(WaitForSingleObject(opened.Get(), 5000), kWaitObject0);
  EXPECT_EQ(WaitForSingleObject(child.process.Get(), 5000), kWaitObject0);

  UniqueHandle none;
  EXPECT_NE(OpenProcess(kProcessQueryLimitedInformation, 0x3FFFFFFC, &none), kErrorSuccess);
}

TEST_F(ProcessContract, AProgramThatIsNotThereDoesNotStart) {
  StartupInfo startup;
  ProcessInformation child;
  EXPECT_EQ(CreateProcessW(L"\"" + machine_.In(L"absent.exe") + L"\" x", false, kCreateNoWindow,
                           startup, &child),
            kErrorFileNotFound);
  EXPECT_FALSE(child.process.Valid());
}

TEST_F(ProcessContract, TemporaryFileNamesAreNewEmptyFiles) {
  Path first, second;
  ASSERT_EQ(GetTempFileNameW(machine_.Sandbox(), L"VLAXYZ", &first), kErrorSuccess);
  ASSERT_EQ(GetTempFileNameW(machine_.Sandbox() + L"\\", L"VLA", &second), kErrorSuccess);
  EXPECT_NE(first, second);
  for (const Path& name : {first, second}) {
    std::size_t slash = name.rfind(L'\\');
    EXPECT_EQ(name.substr(0, slash), machine_.Sandbox());
    EXPECT_EQ(name.substr(slash + 1, 3), L"VLA");
    std::wstring suffix = name.substr(name.size() - 4);
    EXPECT_TRUE(suffix == L".TMP" || suffix == L".tmp");
    FileStatus status;
    ASSERT_EQ(GetFileStatus(name, &status), kErrorSuccess);
    EXPECT_EQ(status.size, 0u);
  }
}

TEST_F(ProcessContract, TheModulesOwnResourcesAndTheSystemFolder) {
  const void* data = nullptr;
  std::uint32_t size = 0;
  ASSERT_EQ(LoadOwnResource(kResourceTypeRawData, 204, &data, &size), kErrorSuccess);
  EXPECT_GT(size, 1000u);
  EXPECT_EQ(LoadOwnResource(kResourceTypeRawData, 4242, &data, &size), kErrorResourceNameNotFound);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0u);

  Path system = GetSystemDirectoryW();
  ASSERT_GE(system.size(), 4u);
  EXPECT_EQ(system.substr(1, 2), L":\\");
  std::wstring last = system.substr(system.rfind(L'\\') + 1);
  for (wchar_t& c : last) c = static_cast<wchar_t>(c >= L'a' && c <= L'z' ? c - 32 : c);
  EXPECT_EQ(last, L"SYSTEM32");

  std::wstring text;
  ASSERT_EQ(OemToWide("Extracting 42%", &text), kErrorSuccess);
  EXPECT_EQ(text, L"Extracting 42%");
}

}  // namespace
