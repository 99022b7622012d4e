#pragma once
// The MIDL interface tables of the Engine's proxy/stub library. Its generated IID lookup finds an
// interface by a binary search over the IIDs in table order, so once the IIDs are private the
// rows must be re-sorted by the private IIDs' bytes, the four parallel pointer arrays moving
// together, or COM would no longer find an interface through the proxy.

#include <cstddef>
#include <string>

namespace vellmora {

inline constexpr std::size_t kProxyInterfaceCount = 224;

// Checks the one ProxyFileInfo table of a patched proxy image and re-sorts its rows in place;
// *interface_count is 224 on success. False with the reason in *error, the bytes unchanged.
bool RepairProxyInterfaceTables(std::string* proxy, std::size_t* interface_count,
                                std::string* error);

}  // namespace vellmora
