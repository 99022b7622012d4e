#include "package/archive_progress_parser.h"

#include "package/package_test.h"

namespace vellmora::testing {
namespace {

class ArchiveProgressParserTest : public PackageTest {
 protected:
  float Progress() { return engine_.TakeSnapshot().progress; }
};

struct Case {
  const char* name;
  std::vector<std::string> chunks;
  float progress;  // in the band 0.2 .. 0.6
  std::vector<std::string> lines;
};

TEST_F(ArchiveProgressParserTest, PercentagesMoveTheBandAndLogEachMilestoneOnce) {
  const Case cases[] = {
      {"rising", {"  5%", " 30%", " 40%"}, 0.2f + 0.4f * 0.4f, {"[*] Extracting: 25%."}},
      {"to the end",
       {"  5%", " 30%", "100%"},
       0.6f,
       {"[*] Extracting: 25%.", "[*] Extracting: 50%.", "[*] Extracting: 75%."}},
      {"a jump logs the passed milestones in order",
       {" 12%", " 90%", "100%"},
       0.6f,
       {"[*] Extracting: 25%.", "[*] Extracting: 50%.", "[*] Extracting: 75%."}},
      {"never backwards", {" 30%", " 10%"}, 0.2f + 0.4f * 0.3f, {"[*] Extracting: 25%."}},
      {"four digits give the three beside the sign, clamped",
       {"1234%"},
       0.6f,
       {"[*] Extracting: 25%.", "[*] Extracting: 50%.", "[*] Extracting: 75%."}},
      {"a sign at the first byte counts nothing", {"%50"}, 0.0f, {}},
      {"a number split across reads",
       {" 6", "0% - payload"},
       0.2f + 0.4f * 0.6f,
       {"[*] Extracting: 25%.", "[*] Extracting: 50%."}},
      // What 7-Zip 26.03 writes with -bsp1 to a pipe: percentages rubbed out with backspaces.
      {"real 7-Zip output",
       {"  0M Scan\b\b\b\b\b\b\b\b\b         \b\b\b\b\b\b\b\b\b  0%\b\b\b\b    \b\b\b\b",
        " 20% - big.bin\b\b\b\b\b\b\b\b\b\b\b\b\b\b              \b\b\b\b\b\b\b\b\b\b\b\b\b\b",
        " 36% - big.bin\b\b\b\b\b\b\b\b\b\b\b\b\b\b 55% - big.bin\b\b\b\b\b\b\b\b\b\b\b\b\b\b",
        " 79% - big.bin\b\b\b\b\b\b\b\b\b\b\b\b\b\b 95% - big.bin"},
       0.2f + 0.4f * 0.95f,
       {"[*] Extracting: 25%.", "[*] Extracting: 50%.", "[*] Extracting: 75%."}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    engine_.SetProgress(0.0f);
    NewLogLines();
    ArchiveProgressParser parser(engine_, 0.2f, 0.6f, "Extracting");
    for (const std::string& chunk : test.chunks) parser.Feed(chunk.data(), chunk.size());
    EXPECT_NEAR(Progress(), test.progress, 1e-4);
    EXPECT_EQ(NewLogLines(), test.lines);
  }
}

TEST_F(ArchiveProgressParserTest, AnEmptyLabelMovesTheBarSilently) {
  ArchiveProgressParser parser(engine_, 0.0f, 1.0f, "");
  parser.Feed(" 80%", 4);
  EXPECT_NEAR(Progress(), 0.8f, 1e-4);
  EXPECT_TRUE(NewLogLines().empty());
}

TEST_F(ArchiveProgressParserTest, MemoryStaysBoundedAndTheTailKeepsTheLastBytes) {
  ArchiveProgressParser parser(engine_, 0.0f, 1.0f, "");
  std::string chunk(1000, 'x');
  for (int i = 0; i < 100; ++i) parser.Feed(chunk.data(), chunk.size());
  std::string last = "ERROR: broken archive";
  parser.Feed(last.data(), last.size());
  ASSERT_EQ(parser.tail().size(), 4096u);
  EXPECT_EQ(parser.tail().substr(4096 - last.size()), last);
  // A percentage that arrives after long output is still found.
  parser.Feed(" 42%", 4);
  EXPECT_EQ(parser.last_percent(), 42);
}

}  // namespace
}  // namespace vellmora::testing
