#pragma once
// The TCP port of the instance's Android debug bridge: a stored port is kept while nothing else
// listens on it, otherwise the first free one of the product's range is taken.

#include <cstdint>

namespace vellmora {

inline constexpr int kFirstAdbPort = 5565;
inline constexpr int kLastAdbPort = 5764;

// True when an IPv4 TCP listener of this machine uses the local port.
bool IsPortListening(int port);
// The first port from 5565 to 5764 that nothing listens on; 5565 when all are taken; the port
// under test when the listener table cannot be read.
int PickFreePort();
// The stored "AdbPort" of the product key when it is a 4-byte number from 1024 to 65535 that
// nothing listens on, else PickFreePort().
int ChooseAdbPort();

}  // namespace vellmora
