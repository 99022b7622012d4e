#pragma once
// A TCP listener on this machine, so that tests can look for it in the listener table: a real
// socket on 127.0.0.1 on Windows, an entry of the machine's listener list on the simulated one.

#include <cstdint>

namespace vellmora::testing {

class TcpListener {
 public:
  TcpListener();
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // 0 when no listener could be opened.
  std::uint16_t Port() const { return port_; }
  void Close();

 private:
  std::uint16_t port_ = 0;
  long long socket_ = -1;
};

}  // namespace vellmora::testing
