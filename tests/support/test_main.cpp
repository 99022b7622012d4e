#include <gtest/gtest.h>

#include "test_machine.h"

int main(int argc, char** argv) {
  vellmora::testing::SetTestExecutablePath(argc > 0 ? argv[0] : nullptr);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
