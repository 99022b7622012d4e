#include "app/adb_port.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "app/registry_access.h"
#include "platform/network.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

// Empty when the listener table cannot be read.
std::optional<bool> QueryPortListening(int port) {
  std::vector<std::uint16_t> ports;
  if (platform::GetTcpListenerPorts(&ports) != platform::kErrorSuccess) return std::nullopt;
  return std::find(ports.begin(), ports.end(), port) != ports.end();
}

}  // namespace

bool IsPortListening(int port) { return QueryPortListening(port).value_or(false); }

int PickFreePort() {
  for (int port = kFirstAdbPort; port <= kLastAdbPort; ++port) {
    std::optional<bool> listening = QueryPortListening(port);
    if (!listening || !*listening) return port;
  }
  return kFirstAdbPort;
}

int ChooseAdbPort() {
  std::uint32_t stored = 0;
  if (ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"AdbPort", &stored, kView64) &&
      stored >= 1024 && stored <= 65535 && !IsPortListening(static_cast<int>(stored))) {
    return static_cast<int>(stored);
  }
  return PickFreePort();
}

}  // namespace vellmora
