#pragma once
// The fixture of the archive-tool and child-process tests: an InstallerEngine on the test's
// machine, the small child tool at a path the platform can start, and the visible log.

#include <string>
#include <vector>

#include "app/installer_engine.h"
#include "app_test.h"

namespace vellmora::testing {

class PackageTest : public AppTest {
 protected:
  // The child tool (child_tool_main.cpp) as a Windows path of the machine, and quoted for a
  // command line.
  std::wstring ChildToolPath();
  std::wstring ChildTool() { return L"\"" + ChildToolPath() + L"\""; }
  // The visible log lines the engine gained since the last call.
  std::vector<std::string> NewLogLines();
  static bool Contains(const std::vector<std::string>& lines, const std::string& line);
  // The three archive-tool resources written side by side into the sandbox's "tool" folder, as an
  // operation does; the tool's path.
  std::wstring WriteArchiveTool();

  InstallerEngine engine_;
  std::size_t seen_lines_ = 0;
};

}  // namespace vellmora::testing
