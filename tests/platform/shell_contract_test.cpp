#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/process.h"
#include "platform/shell.h"
#include "platform/sync.h"
#include "support/child_process.h"
#include "support/test_machine.h"

#if VELLMORA_PLATFORM_SIM
#include "platform/sim/sim_control.h"
#endif

namespace {

using namespace platform;
using vellmora::testing::TestMachine;

// Opening an existing file would start a program on Windows; only the refusals are common ground.
TEST(ShellContract, AMissingFileIsNotOpened) {
  TestMachine machine;
  Win32Error error = ShellExecuteOpenW(machine.In(L"missing-log.txt"));
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_EQ(ShellExecuteW(L"open", machine.In(L"missing.exe"), L"--instance Pie64",
                          machine.Sandbox(), kSwShowNormal),
            kErrorFileNotFound);
}

class ShellStartContract : public ::testing::Test {
 protected:
  ShellStartContract() {
    program_ = machine_.In(L"Program Folder\\shell-started.exe");
    vellmora::testing::MakeTestDirectories(machine_.In(L"Program Folder"));
    std::ifstream in(vellmora::testing::BuiltExecutable(VELLMORA_CHILD_TOOL_EXE), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    vellmora::testing::WriteTestFile(program_, bytes.str());
  }
  ~ShellStartContract() override {
    for (std::uint32_t id : StartedIds()) {
      UniqueHandle process;
      if (OpenProcess(kProcessTerminate | kSynchronize, id, &process) == kErrorSuccess) {
        TerminateProcess(process.Get(), 0);
        WaitForSingleObject(process.Get(), 5000);
      }
    }
  }
  // The processes of the copied program, found as the shell started them (not our children).
  std::vector<std::uint32_t> StartedIds() {
    std::vector<std::uint32_t> ids;
    std::vector<ProcessEntry> entries;
    if (ListProcesses(&entries) != kErrorSuccess) return ids;
    for (const auto& entry : entries) {
      if (entry.exe_file == L"shell-started.exe") ids.push_back(entry.process_id);
    }
    return ids;
  }
  bool AppearsWithin(int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 20) {
      if (!StartedIds().empty()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  TestMachine machine_;
  Path program_;
};

TEST_F(ShellStartContract, AProgramIsStartedWithItsParameters) {
  ASSERT_EQ(ShellExecuteW(L"open", program_, L"sleep 20000", machine_.In(L"Program Folder"),
                          kSwShowNormal),
            kErrorSuccess);
  EXPECT_TRUE(AppearsWithin(20000)) << "the shell reported success but nothing runs";
}

// Where a desktop shell runs, it starts the program in its own process; where none does, the
// first missing step is named and nothing starts. Which of the two held is printed for the notes.
TEST_F(ShellStartContract, TheDesktopShellStartsTheProgramOrNamesWhatIsMissing) {
  std::string failed_step;
  const Win32Error error = ShellExecuteFromDesktopW(L"open", program_, L"sleep 20000",
                                                    machine_.In(L"Program Folder"), kSwShowNormal,
                                                    &failed_step);
  if (error == kErrorSuccess) {
    std::printf("desktop shell: the request was carried out by the desktop's shell\n");
    EXPECT_TRUE(AppearsWithin(20000)) << "the desktop shell accepted the request but nothing runs";
  } else {
    std::printf("desktop shell: unavailable, %s failed with 0x%08lX\n", failed_step.c_str(),
                static_cast<unsigned long>(error));
    EXPECT_FALSE(failed_step.empty());
    EXPECT_TRUE(StartedIds().empty());
  }
}

#if VELLMORA_PLATFORM_SIM
// The sim's machine has its user signed in at a desktop; the fault stands for one without.
TEST_F(ShellStartContract, WithoutADesktopShellTheRequestIsRefusedWithItsStep) {
  sim::InjectFault({"desktop_shell", program_, 1, 0x80004002});  // E_NOINTERFACE
  std::string failed_step;
  EXPECT_EQ(ShellExecuteFromDesktopW(L"open", program_, L"sleep 20000", machine_.Sandbox(),
                                     kSwShowNormal, &failed_step),
            0x80004002u);
  EXPECT_EQ(failed_step, "FindWindowSW");
  EXPECT_TRUE(StartedIds().empty());
  sim::ClearFaults();
}
#endif

}  // namespace
