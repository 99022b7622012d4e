#include <gtest/gtest.h>

#include "platform/network.h"
#include "support/test_machine.h"

namespace {

TEST(NetworkContract, TcpListenersAreListedByTheirPorts) {
  vellmora::testing::TestMachine machine;
  std::vector<std::uint16_t> ports = {0};
  ASSERT_EQ(platform::GetTcpListenerPorts(&ports), platform::kErrorSuccess);
  for (std::uint16_t port : ports) EXPECT_NE(port, 0u);
}

}  // namespace
