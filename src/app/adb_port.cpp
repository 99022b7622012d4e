#include "app/adb_port.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "app/registry_access.h"
#include "platform/network.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

// The machine's listening ports; empty when the listener table cannot be read.
std::optional<std::vector<std::uint16_t>> ReadListenerPorts() {
  std::vector<std::uint16_t> ports;
  if (platform::GetTcpListenerPorts(&ports) != platform::kErrorSuccess) return std::nullopt;
  return ports;
}

bool Contains(const std::vector<std::uint16_t>& ports, int port) {
  return std::find(ports.begin(), ports.end(), port) != ports.end();
}

}  // namespace

bool IsPortListening(int port) {
  std::optional<std::vector<std::uint16_t>> ports = ReadListenerPorts();
  return ports && Contains(*ports, port);
}

int PickFreePort() {
  // Without a table every port is "the port under test", and the first one is taken.
  std::optional<std::vector<std::uint16_t>> ports = ReadListenerPorts();
  if (!ports) return kFirstAdbPort;
  for (int port = kFirstAdbPort; port <= kLastAdbPort; ++port) {
    if (!Contains(*ports, port)) return port;
  }
  return kFirstAdbPort;
}

int ChooseAdbPort() {
  std::uint32_t stored = 0;
  if (ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"AdbPort", &stored) &&
      stored >= 1024 && stored <= 65535 && !IsPortListening(static_cast<int>(stored))) {
    return static_cast<int>(stored);
  }
  return PickFreePort();
}

}  // namespace vellmora
