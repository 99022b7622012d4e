#include "package/archive_tool.h"

#include <algorithm>
#include <chrono>

#include "app/text.h"
#include "package/archive_run_limits.h"
#include "package/package_test.h"
#include "package/run_captured.h"
#include "platform/files.h"
#include "platform/resources.h"

namespace vellmora::testing {
namespace {

class ArchiveToolTest : public PackageTest {
 protected:
  // The three resources written side by side, as an operation does; the tool's path.
  std::wstring WriteArchiveTool() {
    platform::Path folder = machine_.In(L"tool");
    EXPECT_TRUE(MakeTestDirectories(folder));
    EXPECT_TRUE(WriteResourceToFile(engine_, kArchiveToolResource, folder + L"\\7z.exe"));
    EXPECT_TRUE(WriteResourceToFile(engine_, kArchiveLibraryResource, folder + L"\\7z.dll"));
    EXPECT_TRUE(
        WriteResourceToFile(engine_, kArchiveLicenceResource, folder + L"\\LICENSE-7ZIP.txt"));
    return folder + L"\\7z.exe";
  }

  // A 7z archive holding hello.txt, made by the real tool.
  std::wstring MakeArchive(const std::wstring& tool) {
    platform::Path source = machine_.In(L"hello.txt");
    EXPECT_TRUE(WriteTestFile(source, "Ola, Vellmora"));
    platform::Path archive = machine_.In(L"hello.7z");
    std::uint32_t exit_code = 0;
    std::string output;
    EXPECT_TRUE(RunCaptured(engine_,
                            QuoteArgument(tool) + L" a " + QuoteArgument(archive) + L" " +
                                QuoteArgument(source) + L" -bso0 -bsp0",
                            60000, &exit_code, &output));
    EXPECT_EQ(exit_code, 0u) << output;
    return archive;
  }

  float Progress() { return engine_.TakeSnapshot().progress; }
};

TEST_F(ArchiveToolTest, ResourcesAreWrittenWholeAndAMissingOneWritesNothing) {
  for (int id : {kArchiveToolResource, kArchiveLibraryResource, kArchiveLicenceResource}) {
    SCOPED_TRACE(id);
    const void* data = nullptr;
    std::uint32_t size = 0;
    ASSERT_EQ(platform::LoadOwnResource(platform::kResourceTypeRawData, id, &data, &size), 0u);
    ASSERT_GT(size, 0u);
    platform::Path target = machine_.In(L"resource-" + std::to_wstring(id));
    ASSERT_TRUE(WriteTestFile(target, "an older, longer content than the licence could ever be"));
    ASSERT_TRUE(WriteResourceToFile(engine_, id, target));
    std::string written;
    ASSERT_TRUE(ReadTestFile(target, &written));
    EXPECT_EQ(written, std::string(static_cast<const char*>(data), size));
  }
  std::string licence;
  ASSERT_TRUE(ReadTestFile(machine_.In(L"resource-204"), &licence));
  EXPECT_NE(licence.find("GNU LGPL"), std::string::npos);

  platform::Path kept = machine_.In(L"kept.txt");
  ASSERT_TRUE(WriteTestFile(kept, "kept"));
  EXPECT_FALSE(WriteResourceToFile(engine_, 299, kept));
  std::string content;
  ASSERT_TRUE(ReadTestFile(kept, &content));
  EXPECT_EQ(content, "kept") << "a missing resource leaves the target alone";
  EXPECT_FALSE(WriteResourceToFile(engine_, 299, machine_.In(L"never.txt")));
  EXPECT_EQ(platform::GetFileAttributesW(machine_.In(L"never.txt")),
            platform::kInvalidFileAttributes);
  EXPECT_FALSE(
      WriteResourceToFile(engine_, kArchiveToolResource, machine_.In(L"no\\such\\7z.exe")));
}

TEST_F(ArchiveToolTest, ExtractsWithProgressIntoItsBand) {
  std::wstring tool = WriteArchiveTool();
  std::wstring archive = MakeArchive(tool);
  platform::Path destination = machine_.In(L"out");
  NewLogLines();
  engine_.SetProgress(0.0f);
  ASSERT_TRUE(RunArchiveTool(engine_, tool, L"x", archive, destination, 0.1f, 0.5f,
                             "Extracting the test package"));
  std::string extracted;
  ASSERT_TRUE(ReadTestFile(destination + L"\\hello.txt", &extracted));
  EXPECT_EQ(extracted, "Ola, Vellmora");
  EXPECT_NEAR(Progress(), 0.5f, 1e-4);
  std::vector<std::string> lines = NewLogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Archive operation: x | archive=" + ToUtf8(archive) +
                               " | destination=" + ToUtf8(destination) + ".");
  EXPECT_EQ(lines.back(), "[+] Extracting the test package completed.");

  // Again without a band: no progress, no completion line; -aoa overwrites.
  engine_.SetProgress(0.25f);
  ASSERT_TRUE(RunArchiveTool(engine_, tool, L"x", archive, destination, -1.0f, 1.0f, "Quiet"));
  EXPECT_NEAR(Progress(), 0.25f, 1e-4);
  lines = NewLogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "Archive operation: x | archive=" + ToUtf8(archive) +
                          " | destination=" + ToUtf8(destination) + ".");
}

TEST_F(ArchiveToolTest, AFailureLogsTheExitCodeAndTheToolsOwnWordsOnOneLine) {
  std::wstring tool = WriteArchiveTool();
  platform::Path broken = machine_.In(L"broken.7z");
  ASSERT_TRUE(WriteTestFile(broken, std::string(600, 'x')));
  struct Mode {
    float start;
    float end;
  };
  for (Mode mode : {Mode{0.0f, 1.0f}, Mode{0.5f, 0.5f}}) {
    SCOPED_TRACE(mode.start == mode.end ? "without progress" : "with progress");
    NewLogLines();
    EXPECT_FALSE(RunArchiveTool(engine_, tool, L"t", broken, L"", mode.start, mode.end, "Test"));
    std::vector<std::string> lines = NewLogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Archive operation: t | archive=" + ToUtf8(broken) + ".");
    EXPECT_EQ(lines[1], "Embedded archive tool failed with exit code 2.");
    EXPECT_EQ(lines[2].rfind("Archive tool output tail: ", 0), 0u);
    EXPECT_NE(lines[2].find("Cannot open the file as"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[2].find_first_of("\r\n\t"), std::string::npos);
  }
}

TEST_F(ArchiveToolTest, AToolThatCannotStartSaysSo) {
  platform::Path missing = machine_.In(L"7z.exe");
  NewLogLines();
  EXPECT_FALSE(RunArchiveTool(engine_, missing, L"x", machine_.In(L"a.7z"), L"", 0.0f, 1.0f, "X"));
  std::vector<std::string> lines = NewLogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "Could not start the embedded archive tool (Windows error 2).");
  EXPECT_FALSE(RunArchiveTool(engine_, missing, L"x", machine_.In(L"a.7z"), L"", -1.0f, 1.0f, "X"));
  lines = NewLogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "Could not run the embedded archive tool (Windows error 2).");
}

TEST_F(ArchiveToolTest, ProgressHeartbeatAndTimeLimitFollowTheClock) {
  std::wstring child = ChildToolPath();
  ArchiveRunLimits quick{50, 400, 60000};

  NewLogLines();
  ASSERT_TRUE(RunArchiveToolWithLimits(engine_, child, L"progress 100 5 30 100", L"a.rar", L"",
                                       0.0f, 1.0f, "Unpacking",
                                       ArchiveRunLimits{50, 60000, 60000}));
  std::vector<std::string> lines = NewLogLines();
  EXPECT_EQ(lines,
            (std::vector<std::string>{"Archive operation: progress 100 5 30 100 | archive=a.rar.",
                                      "[*] Unpacking: 25%.", "[*] Unpacking: 50%.",
                                      "[*] Unpacking: 75%.", "[+] Unpacking completed."}));
  EXPECT_NEAR(Progress(), 1.0f, 1e-4);

  ASSERT_TRUE(RunArchiveToolWithLimits(engine_, child, L"sleep 1500", L"a.rar", L"", 0.0f, 1.0f,
                                       "Waiting", quick));
  lines = NewLogLines();
  auto heartbeats = std::count(lines.begin(), lines.end(), "[*] Waiting is still running...");
  EXPECT_GE(heartbeats, 2);
  EXPECT_LE(heartbeats, 4);

  // An empty label keeps the heartbeat and completion lines out, never the failure lines.
  ASSERT_FALSE(
      RunArchiveToolWithLimits(engine_, child, L"exit 7", L"a.rar", L"", 0.0f, 1.0f, "", quick));
  EXPECT_EQ(NewLogLines(),
            (std::vector<std::string>{"Archive operation: exit 7 | archive=a.rar.",
                                      "Embedded archive tool failed with exit code 7."}));

  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunArchiveToolWithLimits(engine_, child, L"sleep 30000", L"a.rar", L"", 0.0f, 1.0f,
                                        "Stuck", ArchiveRunLimits{50, 60000, 500}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  lines = NewLogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "Archive operation timed out after one hour.");
}

TEST_F(ArchiveToolTest, TheOutputTailIsOneLineOfItsLast2048Bytes) {
  std::string text;
  for (int i = 0; text.size() < 5000; ++i) text += "line " + std::to_string(i) + "\r\n\t";
  NewLogLines();
  LogArchiveOutputTail(engine_, text);
  LogArchiveOutputTail(engine_, "");
  std::vector<std::string> lines = NewLogLines();
  ASSERT_EQ(lines.size(), 1u);
  std::string expected = text.substr(text.size() - 2048);
  for (char& c : expected) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  EXPECT_EQ(lines[0], "Archive tool output tail: " + expected);
}

}  // namespace
}  // namespace vellmora::testing
