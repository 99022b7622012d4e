#include <gtest/gtest.h>

#include "platform/security.h"
#include "support/test_machine.h"

namespace {

TEST(SecurityContract, TheProcessTokenTellsItsElevation) {
  vellmora::testing::TestMachine machine;
  bool first = false, second = true;
  ASSERT_EQ(platform::GetTokenElevation(&first), platform::kErrorSuccess);
  ASSERT_EQ(platform::GetTokenElevation(&second), platform::kErrorSuccess);
  EXPECT_EQ(first, second);
}

TEST(SecurityContract, TheShutdownPrivilegeCanBeEnabledAndUnknownNamesAreRefused) {
  vellmora::testing::TestMachine machine;
  // An administrator's token holds SeShutdownPrivilege (disabled until asked for).
  EXPECT_EQ(platform::EnableTokenPrivilege(L"SeShutdownPrivilege"), platform::kErrorSuccess);
  EXPECT_EQ(platform::EnableTokenPrivilege(L"SeNoSuchThingPrivilegeX"), platform::kErrorNoSuchPrivilege);
  EXPECT_EQ(platform::EnableTokenPrivilege(L""), platform::kErrorNoSuchPrivilege);
}

}  // namespace
