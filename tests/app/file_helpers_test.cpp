#include "app/file_helpers.h"

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
