#include "platform/network.h"

#include "platform/sim/faults.h"
#include "platform/sim/machine.h"

namespace platform {

Win32Error GetTcpListenerPorts(std::vector<std::uint16_t>* ports) {
  Win32Error error = sim::internal::InjectedFault("tcp_table", std::wstring());
  if (error != kErrorSuccess) return error;
  *ports = sim::internal::Config()->tcp_listeners;
  return kErrorSuccess;
}

}  // namespace platform
