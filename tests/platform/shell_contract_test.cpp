#include <gtest/gtest.h>

#include "platform/shell.h"
#include "support/test_machine.h"

namespace {

using namespace platform;

// Opening an existing file would start a program on Windows; only the refusals are common ground.
TEST(ShellContract, AMissingFileIsNotOpened) {
  vellmora::testing::TestMachine machine;
  Win32Error error = ShellExecuteOpenW(machine.In(L"missing-log.txt"));
  EXPECT_EQ(error, kErrorFileNotFound);
}

}  // namespace
