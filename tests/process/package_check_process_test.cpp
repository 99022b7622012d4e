// vellmora-package-check started as a publisher starts it: its exit codes.
#include <gtest/gtest.h>

#include "app/text.h"
#include "forge/forge.h"
#include "support/child_process.h"
#include "support/fixture_path.h"
#include "support/test_machine.h"

namespace vellmora::testing {
namespace {

TEST(PackageCheckProcessTest, ExitCodes) {
  TestMachine machine;
  forge::PackageOptions good;
  good.payload_bytes = 128 * 1024;
  forge::PackageOptions hostile = good;
  hostile.extra_entries.push_back(forge::HostileEntry(forge::PackageKind::kEngine, forge::Hostile::kTraversal));
  const std::filesystem::path good_archive = FixturePath(machine.In(L"good.rar"));
  const std::filesystem::path hostile_archive = FixturePath(machine.In(L"hostile.rar"));
  std::string error;
  ASSERT_TRUE(forge::WritePackage(good, good_archive, &error)) << error;
  ASSERT_TRUE(forge::WritePackage(hostile, hostile_archive, &error)) << error;
  // The native checker takes host paths (it makes a machine of its own); the Windows one, this
  // machine's paths.
  struct Case {
    std::vector<std::wstring> arguments;
    int exit_code;
  };
  const Case cases[] = {
      {{L"engine", good_archive.wstring()}, 0},
      {{L"engine", hostile_archive.wstring()}, 1},
      {{L"instance", good_archive.wstring()}, 1},
      {{L"engine"}, 2},
      {{L"pie64", good_archive.wstring()}, 2},
      {{L"engine", FixturePath(machine.In(L"missing.rar")).wstring()}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.arguments.back()));
    ChildResult result = RunChildWithArguments(BuiltExecutable(VELLMORA_PACKAGE_CHECK_EXE), c.arguments,
                                                machine.SimRoot(), 120000);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exit_code, c.exit_code);
  }
}

}  // namespace
}  // namespace vellmora::testing
