#include "package/package_test.h"

#include <algorithm>

#include "app/text.h"
#include "support/child_process.h"

namespace vellmora::testing {

std::wstring PackageTest::ChildToolPath() {
  return StartableOnMachine(VELLMORA_CHILD_TOOL_EXE, machine_, L"child-tool.exe");
}

std::vector<std::string> PackageTest::NewLogLines() {
  std::vector<std::string> lines = engine_.TakeSnapshot().log_lines;
  std::vector<std::string> fresh(
      lines.begin() + static_cast<std::ptrdiff_t>(std::min(seen_lines_, lines.size())),
      lines.end());
  seen_lines_ = lines.size();
  return fresh;
}

bool PackageTest::Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace vellmora::testing
