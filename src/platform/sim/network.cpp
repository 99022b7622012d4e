#include "platform/network.h"

#include "platform/sim/machine.h"

namespace platform {

Win32Error GetTcpListenerPorts(std::vector<std::uint16_t>* ports) {
  *ports = sim::internal::Config()->tcp_listeners;
  return kErrorSuccess;
}

}  // namespace platform
