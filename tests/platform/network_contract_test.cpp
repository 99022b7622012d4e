#include <gtest/gtest.h>

#include <algorithm>

#include "platform/network.h"
#include "support/tcp_listener.h"
#include "support/test_machine.h"

namespace {

bool Listed(std::uint16_t port) {
  std::vector<std::uint16_t> ports;
  EXPECT_EQ(platform::GetTcpListenerPorts(&ports), platform::kErrorSuccess);
  return std::find(ports.begin(), ports.end(), port) != ports.end();
}

TEST(NetworkContract, AListenerIsListedByItsPortUntilItCloses) {
  vellmora::testing::TestMachine machine;
  vellmora::testing::TcpListener listener;
  ASSERT_NE(listener.Port(), 0u) << "no listener could be opened";
  std::vector<std::uint16_t> ports = {0};
  ASSERT_EQ(platform::GetTcpListenerPorts(&ports), platform::kErrorSuccess);
  EXPECT_EQ(std::count(ports.begin(), ports.end(), 0), 0) << "ports are host-order numbers";
  EXPECT_TRUE(Listed(listener.Port())) << listener.Port();
  listener.Close();
  EXPECT_FALSE(Listed(listener.Port())) << listener.Port();
}

}  // namespace
