#include "app/file_helpers.h"

#include "app/path_helpers.h"
#include "app/retry_transient.h"
#include "app_test.h"
#include <vector>

#include "platform/files.h"
#include "platform/system.h"
#include "support/wine_detection.h"

namespace vellmora::testing {
namespace {

class FileHelpersTest : public AppTest {};

bool Exists(const platform::Path& path) {
  return platform::GetFileAttributesW(path) != platform::kInvalidFileAttributes;
}

TEST_F(FileHelpersTest, ReplaceCreatesAMissingTargetAndLeavesNoTemporary) {
  platform::Path target = machine_.In(L"Vellmora.conf");
  ASSERT_TRUE(ReplaceFileAtomically(target, "klv.a=1\n"));
  std::string content;
  ASSERT_TRUE(ReadWholeFile(target, &content));
  EXPECT_EQ(content, "klv.a=1\n");
  EXPECT_FALSE(Exists(target + L".vellmora.tmp"));

  ASSERT_TRUE(ReplaceFileAtomically(target, "klv.a=2\n"));
  ASSERT_TRUE(ReadWholeFile(target, &content));
  EXPECT_EQ(content, "klv.a=2\n");
}

TEST_F(FileHelpersTest, ReplaceOntoAReadOnlyTargetFailsCleanly) {
  if (RunningUnderWine()) GTEST_SKIP() << "Wine replaces read-only files; Windows refuses them";
  platform::Path target = machine_.In(L"locked.conf");
  ASSERT_TRUE(WriteTestFile(target, "old"));
  ASSERT_EQ(platform::SetFileAttributesW(target, platform::kAttributeReadOnly), 0u);

  EXPECT_FALSE(ReplaceFileAtomically(target, "new"));
  EXPECT_FALSE(Exists(target + L".vellmora.tmp"));
  std::string content;
  ASSERT_TRUE(ReadWholeFile(target, &content));
  EXPECT_EQ(content, "old");
  platform::SetFileAttributesW(target, platform::kAttributeNormal);
}

TEST_F(FileHelpersTest, ReplaceWhoseWriteFailsKeepsTheOldTarget) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  platform::Path target = machine_.In(L"VellmoraOX.conf");
  ASSERT_TRUE(WriteTestFile(target, "old"));
  sim::InjectFault({"write", L"*.vellmora.tmp", 1, platform::kErrorDiskFull});
  EXPECT_FALSE(ReplaceFileAtomically(target, "new content"));
  EXPECT_FALSE(Exists(target + L".vellmora.tmp"));
  std::string content;
  ASSERT_TRUE(ReadWholeFile(target, &content));
  EXPECT_EQ(content, "old");
#endif
}

// Callers log the number of the call that failed; those calls set no C runtime error.
TEST_F(FileHelpersTest, AFailedReplaceReportsTheWindowsErrorOfTheCallThatFailed) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  struct Case {
    sim::Fault fault;
    platform::Win32Error expected;
  };
  const Case cases[] = {
      {{"create_file", L"*.vellmora.tmp", 1, platform::kErrorAccessDenied}, 5},
      {{"write", L"*.vellmora.tmp", 1, platform::kErrorDiskFull}, 112},
      {{"flush", L"*.vellmora.tmp", 1, platform::kErrorWriteFault}, 29},
      // The target is missing, so the rename is the last call that can switch it in.
      {{"move", L"*.vellmora.tmp", 1, platform::kErrorSharingViolation}, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault.kind);
    sim::ClearFaults();
    sim::InjectFault(c.fault);
    platform::Path target = machine_.In(L"absent.conf");
    platform::Win32Error error = 0;
    EXPECT_FALSE(ReplaceFileAtomically(target, "content", &error));
    EXPECT_EQ(error, c.expected);
    EXPECT_FALSE(Exists(target));
    EXPECT_FALSE(Exists(target + L".vellmora.tmp"));
  }
  sim::ClearFaults();
  platform::Win32Error error = 0;
  std::string content;
  EXPECT_FALSE(ReadWholeFile(machine_.In(L"missing.conf"), &content, &error));
  EXPECT_EQ(error, platform::kErrorFileNotFound);
#endif
}

// In a folder ordinary users may write, a link planted at the temporary name must not carry the
// elevated write to its target.
TEST_F(FileHelpersTest, ReplaceNeverWritesThroughALinkAtTheTemporaryName) {
  platform::Path outside = machine_.In(L"outside.dll");
  ASSERT_TRUE(WriteTestFile(outside, "system library"));
  platform::Path target = machine_.In(L"Promotions.json");
  platform::Path temporary = target + L".vellmora.tmp";
  platform::FileStatus status;
  if (platform::CreateSymbolicLinkW(temporary, outside, false) != platform::kErrorSuccess ||
      platform::GetFileStatus(temporary, &status) != platform::kErrorSuccess ||
      (status.attributes & platform::kAttributeReparsePoint) == 0) {
    GTEST_SKIP() << "no file symbolic links on this system";
  }
  ASSERT_TRUE(ReplaceFileAtomically(target, "metadata"));
  std::string content;
  ASSERT_TRUE(ReadWholeFile(outside, &content));
  EXPECT_EQ(content, "system library");
  ASSERT_EQ(platform::GetFileStatus(target, &status), platform::kErrorSuccess);
  EXPECT_EQ(status.attributes & platform::kAttributeReparsePoint, 0u);
  ASSERT_TRUE(ReadWholeFile(target, &content));
  EXPECT_EQ(content, "metadata");
  EXPECT_FALSE(Exists(temporary));
}

TEST_F(FileHelpersTest, TreeRemovalTakesLinksButNotTheirTargets) {
  platform::Path kept = machine_.In(L"kept");
  platform::Path tree = machine_.In(L"tree");
  ASSERT_TRUE(MakeTestDirectories(kept));
  ASSERT_TRUE(WriteTestFile(JoinPath(kept, L"precious.txt"), "keep me"));
  ASSERT_TRUE(MakeTestDirectories(JoinPath(tree, L"a\\b")));
  ASSERT_TRUE(WriteTestFile(JoinPath(tree, L"a\\b\\file.txt"), "x"));
  ASSERT_TRUE(WriteTestFile(JoinPath(tree, L"locked.txt"), "x"));
  ASSERT_EQ(platform::SetFileAttributesW(JoinPath(tree, L"locked.txt"), platform::kAttributeReadOnly), 0u);
  platform::Win32Error linked = platform::CreateJunction(JoinPath(tree, L"a\\link"), kept);

  EXPECT_EQ(RemoveDirectoryTree(tree), platform::kErrorSuccess);
  EXPECT_FALSE(Exists(tree));
  if (linked == platform::kErrorSuccess) {
    std::string content;
    ASSERT_TRUE(ReadWholeFile(JoinPath(kept, L"precious.txt"), &content));
    EXPECT_EQ(content, "keep me");
  }
  EXPECT_EQ(RemoveDirectoryTree(tree), platform::kErrorSuccess) << "nothing there is nothing left";
}

TEST_F(FileHelpersTest, TreeRemovalReportsWhatItCouldNotRemove) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  platform::Path tree = machine_.In(L"tree");
  ASSERT_TRUE(MakeTestDirectories(tree));
  ASSERT_TRUE(WriteTestFile(JoinPath(tree, L"busy.txt"), "x"));
  ASSERT_TRUE(WriteTestFile(JoinPath(tree, L"other.txt"), "x"));
  sim::InjectFault({"delete_file", L"*\\busy.txt", 1, platform::kErrorSharingViolation});
  EXPECT_EQ(RemoveDirectoryTree(tree), platform::kErrorSharingViolation);
  EXPECT_FALSE(Exists(JoinPath(tree, L"other.txt"))) << "the walk goes on past an error";
  EXPECT_TRUE(Exists(JoinPath(tree, L"busy.txt")));
#endif
}

TEST_F(FileHelpersTest, DirectoriesAreCreatedWithTheirParents) {
  platform::Path deep = machine_.In(L"one\\two\\three");
  EXPECT_EQ(CreateDirectoryWithParents(deep), platform::kErrorSuccess);
  EXPECT_NE(platform::GetFileAttributesW(deep) & platform::kAttributeDirectory, 0u);
  EXPECT_EQ(CreateDirectoryWithParents(deep), platform::kErrorSuccess);
  ASSERT_TRUE(WriteTestFile(machine_.In(L"file"), "x"));
  EXPECT_NE(CreateDirectoryWithParents(machine_.In(L"file")), platform::kErrorSuccess);
  EXPECT_NE(CreateDirectoryWithParents(machine_.In(L"file\\below")), platform::kErrorSuccess);
}

TEST_F(FileHelpersTest, ReadOfAMissingFileLeavesTheOutputAlone) {
  std::string content = "unchanged";
  EXPECT_FALSE(ReadWholeFile(machine_.In(L"missing.json"), &content));
  EXPECT_EQ(content, "unchanged");
  std::vector<std::uint8_t> bytes = {1, 2};
  EXPECT_FALSE(ReadFileBytes(machine_.In(L"missing.dll"), &bytes));
  EXPECT_EQ(bytes.size(), 2u);
}

TEST_F(FileHelpersTest, PlainTreeRefusesJunctionsAnywhere) {
  platform::Path root = machine_.In(L"payload");
  ASSERT_TRUE(MakeTestDirectories(root + L"\\a\\b"));
  ASSERT_TRUE(WriteTestFile(root + L"\\a\\b\\file.txt", "x"));
  EXPECT_TRUE(IsPlainDirectoryTree(root));
  EXPECT_FALSE(IsPlainDirectoryTree(root + L"\\a\\b\\file.txt")) << "a file is not a tree";
  EXPECT_FALSE(IsPlainDirectoryTree(machine_.In(L"absent")));

  platform::Path outside = machine_.In(L"outside");
  ASSERT_TRUE(MakeTestDirectories(outside));
  platform::Win32Error made = platform::CreateJunction(root + L"\\a\\link", outside);
  if (made == platform::kErrorNotSupported || made == platform::kErrorInvalidParameter) {
    GTEST_SKIP() << "this system cannot create junctions (error " << made << ")";
  }
  ASSERT_EQ(made, 0u);
  EXPECT_FALSE(IsPlainDirectoryTree(root)) << "a junction deep in the tree";
  EXPECT_FALSE(IsPlainDirectoryTree(root + L"\\a\\link")) << "a root that is a junction";
  platform::RemoveDirectoryW(root + L"\\a\\link");
}

// The simulated machine's clock stands still but for Sleep, so spacing is exact and free; on
// Windows the waits are real.
class RetryClock {
 public:
  RetryClock() {
#if VELLMORA_PLATFORM_SIM
    sim::UseFakeClock(true);
#endif
  }
  ~RetryClock() {
#if VELLMORA_PLATFORM_SIM
    sim::UseFakeClock(false);
#endif
  }
  static void ExpectSpacing(std::uint64_t from, std::uint64_t to, std::uint64_t expected) {
    if (TestMachine::IsSimulated()) {
      EXPECT_EQ(to - from, expected);
    } else {
      EXPECT_GE(to - from + 20, expected);
      EXPECT_LE(to - from, expected + 250);
    }
  }
};

TEST(RetryTransientTest, RetriesTransientErrorsOnlyAndCountsAttempts) {
  struct Case {
    std::vector<platform::Win32Error> results;
    int max_attempts;
    bool succeeded;
    int attempts;
  };
  const Case cases[] = {
      {{0}, 20, true, 1},
      {{32, 5, 0}, 20, true, 3},
      {{2}, 20, false, 1},
      {{145, 87}, 20, false, 2},
      {{170, 1237}, 2, false, 2},
  };
  RetryClock clock;
  for (const auto& c : cases) {
    std::size_t call = 0;
    int attempts = 0;
    std::vector<std::uint64_t> started;
    bool ok = RetryTransient(
        [&] {
          started.push_back(platform::GetTickCount64());
          return c.results[std::min(call++, c.results.size() - 1)];
        },
        c.max_attempts, &attempts);
    std::uint64_t returned = platform::GetTickCount64();
    EXPECT_EQ(ok, c.succeeded);
    EXPECT_EQ(attempts, c.attempts);
    ASSERT_EQ(started.size(), static_cast<std::size_t>(c.attempts));
    for (std::size_t i = 1; i < started.size(); ++i) {
      RetryClock::ExpectSpacing(started[i - 1], started[i], kTransientDelayMs);
    }
    RetryClock::ExpectSpacing(started.back(), returned, 0);  // no wait after the last attempt
  }
}

TEST(RetryTransientTest, TwentyAttemptsWaitNineAndAHalfSeconds) {
  REQUIRE_SIMULATED_MACHINE();
  RetryClock clock;
  std::uint64_t start = platform::GetTickCount64();
  int attempts = 0;
  EXPECT_FALSE(RetryTransient([] { return platform::kErrorSharingViolation; },
                              kTransientAttempts, &attempts));
  EXPECT_EQ(attempts, 20);
  EXPECT_EQ(platform::GetTickCount64() - start, 19u * 500u);
}

TEST_F(FileHelpersTest, RetryTransientOutlastsASharingViolationOnARename) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  // A scanner holds a file of the new root open for a moment: the rename is refused until it
  // lets go.
  platform::Path from = machine_.In(L"Vellmora.ostrevin-new-1");
  platform::Path to = machine_.In(L"Vellmora");
  ASSERT_TRUE(MakeTestDirectories(from));
  ASSERT_TRUE(WriteTestFile(from + L"\\VellmoraOX.conf", "klv.x=1"));
  platform::UniqueHandle scanner;
  ASSERT_EQ(platform::CreateFileW(from + L"\\VellmoraOX.conf", platform::kGenericRead,
                                  platform::kShareAll, platform::kOpenExisting,
                                  platform::kAttributeNormal, &scanner),
            0u);
  RetryClock clock;
  std::vector<platform::Win32Error> results;
  int attempts = 0;
  EXPECT_TRUE(RetryTransient(
      [&] {
        if (results.size() == 2) scanner.Reset();
        results.push_back(platform::MoveFileExW(from, to, 0));
        return results.back();
      },
      kTransientAttempts, &attempts));
  EXPECT_EQ(attempts, 3);
  EXPECT_EQ(results, (std::vector<platform::Win32Error>{platform::kErrorAccessDenied,
                                                        platform::kErrorAccessDenied, 0}));
  EXPECT_TRUE(Exists(to + L"\\VellmoraOX.conf"));
#endif
}

}  // namespace
}  // namespace vellmora::testing
