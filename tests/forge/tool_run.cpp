// Runs the host's programs for the native forge tests: the pinned Linux 7-Zip and the forge's
// own command line, with their output captured.

#include <sys/wait.h>

#include <cstdio>

#include "forge_test_support.h"

namespace forge_test {

std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

ToolRun RunProgram(const std::string& program, const std::string& arguments) {
  ToolRun run;
  const std::string command = Quote(program) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[65536];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    run.output.append(buffer, got);
  const int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  return run;
}

ToolRun RunSevenZip(const std::string& arguments) { return RunProgram(VELLMORA_TEST_7ZZ, arguments); }

std::vector<ListedItem> ListArchive(const std::filesystem::path& archive, bool streams) {
  const ToolRun run = RunSevenZip(std::string("l -slt ") + (streams ? "-sns " : "") + Quote(archive));
  EXPECT_EQ(run.exit_code, 0) << run.output;
  return ListedItems(run.output);
}

}  // namespace forge_test
