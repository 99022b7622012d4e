#include "package/run_captured.h"

#include <chrono>

#include "app/system_helpers.h"
#include "app/text.h"
#include "package/package_test.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/system.h"

namespace vellmora::testing {
namespace {

class RunCapturedTest : public PackageTest {
 protected:
  // Files of the temporary directory that RunCaptured would have made ("VLA*.TMP").
  std::size_t CaptureFiles() {
    std::vector<platform::DirectoryEntry> entries;
    platform::ListDirectory(TemporaryDirectory(), &entries);
    std::size_t count = 0;
    for (const platform::DirectoryEntry& entry : entries) {
      if (StartsWithIgnoringAsciiCase(entry.name, L"VLA")) ++count;
    }
    return count;
  }
};

TEST_F(RunCapturedTest, AnExitCodeIsReportedBesideARunThatEndedInTime) {
  std::size_t before = CaptureFiles();
  std::uint32_t exit_code = 0;
  std::string output = "stale";
  platform::Win32Error error = 99;
  EXPECT_TRUE(RunCaptured(engine_, ChildTool() + L" exit 2", 30000, &exit_code, &output, &error));
  EXPECT_EQ(exit_code, 2u);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(output, "");
  // The file is deleted before the call returns; Wine lists a deleted file until the last handle
  // to it closes, and the child's console host may close its copy a moment later.
  for (int wait = 0; wait < 40 && CaptureFiles() != before; ++wait) platform::Sleep(50);
  EXPECT_EQ(CaptureFiles(), before) << "the capture file never outlives the call";

  EXPECT_TRUE(RunCaptured(engine_, ChildTool() + L" exit 0", 30000, &exit_code));
  EXPECT_EQ(exit_code, 0u);
}

TEST_F(RunCapturedTest, StandardOutputAndErrorAreCapturedTogether) {
  std::uint32_t exit_code = 0;
  std::string output;
  ASSERT_TRUE(RunCaptured(engine_, ChildTool() + L" print \"Tudo certo \xE7\" 3", 30000, &exit_code,
                          &output));
  EXPECT_EQ(exit_code, 3u);
#if VELLMORA_PLATFORM_SIM
  // The machine's console code page is UTF-8; Windows' own varies with the system locale.
  EXPECT_EQ(output, "Tudo certo \xC3\xA7Tudo certo \xC3\xA7");
#else
  EXPECT_EQ(output.substr(0, 11), "Tudo certo ");
  EXPECT_EQ(output.size() % 2, 0u) << output;
#endif
}

TEST_F(RunCapturedTest, AChildPastItsLimitIsTerminatedWith1460) {
  std::uint32_t exit_code = 0;
  std::string output;
  platform::Win32Error error = 0;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(
      RunCaptured(engine_, ChildTool() + L" sleep 20000", 500, &exit_code, &output, &error));
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(exit_code, 1460u) << "the exit code read after the termination";
  EXPECT_EQ(error, 1460u);
  EXPECT_LT(took, std::chrono::seconds(10));
}

TEST_F(RunCapturedTest, AProgramThatCannotStartReportsItsError) {
  std::uint32_t exit_code = 0;
  platform::Win32Error error = 0;
  std::string output = "stale";
  EXPECT_FALSE(RunCaptured(engine_, L"\"" + machine_.In(L"missing.exe") + L"\" x", 1000, &exit_code,
                           &output, &error));
  EXPECT_EQ(exit_code, 31u);
  EXPECT_TRUE(error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound)
      << error;
  EXPECT_EQ(output, "");
}

TEST_F(RunCapturedTest, WithoutATemporaryDirectoryNothingRuns) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE", L"SystemRoot"}) {
    platform::SetEnvironmentVariableW(name, nullptr);
  }
  std::uint32_t exit_code = 0;
  platform::Win32Error error = 0;
  std::string output;
  EXPECT_FALSE(RunCaptured(engine_, ChildTool() + L" exit 0", 1000, &exit_code, &output, &error));
  EXPECT_EQ(exit_code, 31u);
  EXPECT_NE(error, 0u);
  EXPECT_TRUE(sim::StartedProcesses().empty());
#endif
}

}  // namespace
}  // namespace vellmora::testing
