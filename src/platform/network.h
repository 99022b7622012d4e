#pragma once
// The machine's TCP endpoints.

#include <cstdint>
#include <vector>

#include "platform/types.h"

namespace platform {

// GetExtendedTcpTable(AF_INET, TCP_TABLE_OWNER_PID_LISTENER): the local ports of the machine's
// IPv4 TCP listeners, in host byte order.
Win32Error GetTcpListenerPorts(std::vector<std::uint16_t>* ports);

}  // namespace platform
