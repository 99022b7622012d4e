#include "tcp_listener.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <algorithm>
#include <vector>

#include "platform/network.h"
#include "platform/sim/sim_control.h"
#endif

namespace vellmora::testing {

#ifdef _WIN32

TcpListener::TcpListener() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;  // a free port, chosen by the system
  int length = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 1) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::closesocket(listener);
    return;
  }
  socket_ = static_cast<long long>(listener);
  port_ = ntohs(address.sin_port);
}

void TcpListener::Close() {
  if (socket_ != -1) ::closesocket(static_cast<SOCKET>(socket_));
  socket_ = -1;
}

#else

// A port of the dynamic range that the machine's list does not hold yet.
TcpListener::TcpListener() {
  std::vector<std::uint16_t> ports;
  if (platform::GetTcpListenerPorts(&ports) != platform::kErrorSuccess) return;
  std::uint16_t candidate = 49152;
  while (std::find(ports.begin(), ports.end(), candidate) != ports.end()) ++candidate;
  ports.push_back(candidate);
  sim::SetTcpListeners(ports);
  port_ = candidate;
  socket_ = candidate;
}

void TcpListener::Close() {
  if (socket_ == -1) return;
  std::vector<std::uint16_t> ports;
  if (platform::GetTcpListenerPorts(&ports) == platform::kErrorSuccess) {
    ports.erase(std::remove(ports.begin(), ports.end(), port_), ports.end());
    sim::SetTcpListeners(ports);
  }
  socket_ = -1;
}

#endif

TcpListener::~TcpListener() { Close(); }

}  // namespace vellmora::testing
