#include "engine/version_patch.h"

#include <gtest/gtest.h>

namespace vellmora::testing {
namespace {

const std::string kBlock("2.22.1\0\0", 8);
const std::string kPatched("3.0.0.1\0", 8);

TEST(VersionPatch, OnlyWholeVersionBlocksInsideTheRangeChange) {
  struct Case {
    const char* name;
    std::string bytes;
    std::size_t begin;
    std::size_t end;  // npos: the whole buffer
    std::string expected;
    std::size_t count;
  };
  const Case cases[] = {
      {"at the start", kBlock + "x", 0, std::string::npos, kPatched + "x", 1},
      {"after a letter and a zero byte", "v" + kBlock + std::string(1, '\0') + kBlock, 0,
       std::string::npos, "v" + kPatched + std::string(1, '\0') + kPatched, 2},
      {"a longer version keeps its digits", "12.22.1" + std::string(2, '\0'), 0, std::string::npos,
       "12.22.1" + std::string(2, '\0'), 0},
      {"after a dot", "1." + kBlock, 0, std::string::npos, "1." + kBlock, 0},
      {"the byte before the range counts", "1" + kBlock, 1, std::string::npos, "1" + kBlock, 0},
      {"without its padding", std::string("2.22.1\0x", 8), 0, std::string::npos,
       std::string("2.22.1\0x", 8), 0},
      {"a block crossing the end of the range", "ab" + kBlock, 0, 9, "ab" + kBlock, 0},
      {"a refused block does not hide the next", "9" + kBlock + kBlock, 0, std::string::npos,
       "9" + kBlock + kPatched, 1},
  };
  for (const Case& c : cases) {
    std::string bytes = c.bytes;
    const std::size_t end = c.end == std::string::npos ? bytes.size() : c.end;
    EXPECT_EQ(PatchVersionBlocks(&bytes, c.begin, end), c.count) << c.name;
    EXPECT_EQ(bytes, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace vellmora::testing
