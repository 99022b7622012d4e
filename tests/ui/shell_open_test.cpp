#include <gtest/gtest.h>

#include "app/text.h"
#include "support/test_machine.h"
#include "ui/shell_open.h"

#if VELLMORA_PLATFORM_SIM
#include "platform/sim/sim_control.h"
#endif

namespace vellmora::testing {
namespace {

TEST(PathExistsUtf8, TellsFilesFromFoldersAndRefusesBrokenText) {
  TestMachine machine;
  const std::string folder = ToUtf8(machine.In(L"Relatórios"));
  const std::string file = folder + "\\Vellmora-Instalação.txt";
  ASSERT_TRUE(MakeTestDirectories(FromUtf8(folder)));
  ASSERT_TRUE(WriteTestFile(FromUtf8(file), "log"));
  struct Case {
    std::string path;
    bool want_folder;
    bool exists;
  };
  for (const Case& c : {Case{file, false, true}, Case{file, true, true},
                        Case{folder, false, false}, Case{folder + "\\missing.txt", false, false},
                        Case{folder + "\\missing\\x.txt", true, false},
                        // Invalid UTF-8: a truncated sequence and an overlong slash.
                        Case{folder + "\\\xC3", false, false}, Case{folder + "\xC0\xAF", true, false},
                        Case{"", false, false}}) {
    EXPECT_EQ(PathExistsUtf8(c.path, c.want_folder), c.exists) << c.path << " " << c.want_folder;
  }
}

TEST(OpenWithShell, OpensOnlyWhatExists) {
  TestMachine machine;
  const std::string file = ToUtf8(machine.In(L"Vellmora-Instalacao.txt"));
  EXPECT_FALSE(OpenWithShell(file, false));  // not there yet
#if VELLMORA_PLATFORM_SIM
  ASSERT_TRUE(WriteTestFile(FromUtf8(file), "log"));
  EXPECT_TRUE(OpenWithShell(file, false));
  EXPECT_TRUE(OpenWithShell(file, true));
  EXPECT_EQ(sim::RecordedShellOpens(),
            (std::vector<std::string>{"open|" + file, "open|" + ToUtf8(machine.Sandbox())}));
#endif
}

}  // namespace
}  // namespace vellmora::testing
