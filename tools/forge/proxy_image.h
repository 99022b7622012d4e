#pragma once
// A COM proxy/stub library as the MIDL compiler lays it out, reduced to what an installer reads
// of it: a PE32+ image whose read-only data holds one ProxyFileInfo table (TableSize 224,
// TableVersion 2, zeros after it) pointing at four parallel 225-pointer arrays (proxy vtables,
// stub vtables, interface names, delegated IIDs; a null pointer after the last row) and whose IID
// lookup routine lies in the executable section. Each row's proxy vtable (+8) and stub vtable
// (+0) point at the same 16-byte IID.

#include <string>
#include <vector>

namespace forge {

struct ProxyImageOptions {
  std::vector<std::string> iids;   // 16 bytes each in the binary GUID layout, in row order
  std::vector<std::string> names;  // one interface name per row
  bool second_table = false;       // a second, identical ProxyFileInfo table after the first
  bool missing_terminator = false; // the stub vtable array's pointer after the last row is set
  std::string extra_data;          // further read-only bytes (identities for the installer)
};

// The image, or an empty string when the rows do not match (iids and names of equal count, each
// IID 16 bytes).
std::string MakeProxyImage(const ProxyImageOptions& options);

// File offset of the (first) ProxyFileInfo table in an image MakeProxyImage made.
std::size_t ProxyTableOffset(const std::string& image);

}  // namespace forge
