#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <vector>

#include "platform/network.h"
#include "platform/win32/system_library.h"

namespace platform {

Win32Error GetTcpListenerPorts(std::vector<std::uint16_t>* ports) {
  static const auto get_extended_tcp_table =
      win32::SystemFunction<decltype(&::GetExtendedTcpTable)>(L"iphlpapi.dll", "GetExtendedTcpTable");
  if (get_extended_tcp_table == nullptr) return ::GetLastError();
  std::vector<unsigned char> buffer(sizeof(MIB_TCPTABLE_OWNER_PID));
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD error = get_extended_tcp_table(buffer.data(), &size, FALSE, AF_INET,
                                        TCP_TABLE_OWNER_PID_LISTENER, 0);
    // The table can grow between the size query and the copy; ask again until it fits.
    if (error == ERROR_INSUFFICIENT_BUFFER) {
      buffer.resize(size + 16 * sizeof(MIB_TCPROW_OWNER_PID));
      continue;
    }
    if (error != NO_ERROR) return error;
    const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
    const MIB_TCPROW_OWNER_PID* rows = table->table;
    ports->clear();
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
      // The port sits in network byte order in the low 16 bits.
      ports->push_back(::ntohs(static_cast<u_short>(rows[i].dwLocalPort)));
    }
    return kErrorSuccess;
  }
}

}  // namespace platform
