// The vellmora-forge command line: its exit codes and that its options reach the package.

#include "forge_test_support.h"

namespace forge_test {
namespace {

ToolRun RunForge(const std::string& arguments) { return RunProgram(VELLMORA_FORGE_EXE, arguments); }

TEST_F(ForgeTest, CommandLineExitCodes) {
  const std::string out = Quote(In("out.rar"));
  struct Row {
    std::string arguments;
    int exit_code;
  };
  const Row rows[] = {
      {"", 2},
      {"engine", 2},
      {"kernel " + out, 2},
      {"engine " + out + " --hostile nope", 2},
      {"engine " + out + " --payload-size 12Q", 2},
      {"engine " + out + " --format zip", 2},
      {"engine " + out + " --omit", 2},
      {"engine " + out + " --hostile anti-item", 1},  // RAR5 has no anti-items
      {"engine " + out + " --file-version 3.9", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments);
    const ToolRun run = RunForge(row.arguments);
    EXPECT_EQ(run.exit_code, row.exit_code) << run.output;
    EXPECT_FALSE(std::filesystem::exists(In("out.rar")));
    if (row.exit_code != 0) {
      EXPECT_NE(run.output.find("vellmora-forge: "), std::string::npos);
    }
  }
}

TEST_F(ForgeTest, CommandLineOptionsReachThePackage) {
  const auto archive = In("engine.rar");
  ToolRun run = RunForge("engine " + Quote(archive) +
                      " --hostile junction --hostile hard-link --omit payload/ProgramFiles/Vellmora/KolvVMM.dll"
                      " --payload-size 2M");
  ASSERT_EQ(run.exit_code, 0) << run.output;
  const auto items = ListArchive(archive);
  const ListedItem* junction = FindItem(items, "payload/ProgramFiles/Vellmora/junction");
  ASSERT_NE(junction, nullptr);
  EXPECT_EQ(junction->Get("Symbolic Link"), "C:/Windows");
  EXPECT_NE(FindItem(items, "payload/ProgramFiles/Vellmora/hardlink.bin"), nullptr);
  EXPECT_EQ(FindItem(items, "payload/ProgramFiles/Vellmora/KolvVMM.dll"), nullptr);
  EXPECT_GE(std::filesystem::file_size(archive), 2u << 20);
  EXPECT_LT(std::filesystem::file_size(archive), 3u << 20);

  run = RunForge("instance " + Quote(In("instance.7z")) + " --format 7z --no-root-disk");
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(RunSevenZip("l -slt " + Quote(In("instance.7z"))).output.find("\nType = 7z"),
            std::string::npos);

  run = RunForge("tree instance " + Quote(In("tree")) + " --manifest-version 3.9.0.0");
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_TRUE(std::filesystem::is_regular_file(In("tree/payload/Instances/Pie64/Root.vhd")));
  EXPECT_NE(ReadAll(In("tree/package-manifest.json")).find("\"version\": \"3.9.0.0\""),
            std::string::npos);
}

}  // namespace
}  // namespace forge_test
