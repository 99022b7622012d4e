// The PE reader and the proxy table check over arbitrary bytes: no header, however hostile, makes
// them read outside the buffer, and every address the view maps lies inside the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "windows/pe64_view.h"
#include "windows/proxy_interface_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  vellmora::PeHeaders headers;
  if (vellmora::ReadPeHeaders(bytes, &headers) == vellmora::PeHeaderCheck::kValid &&
      headers.sections.size() != headers.section_count) {
    std::abort();
  }
  vellmora::Pe64View view;
  if (vellmora::ParsePe64Image(bytes, &view) == vellmora::Pe64Check::kValid) {
    // Try the input's own 8-byte words as addresses, as the proxy check does.
    for (std::size_t at = 0; at + 8 <= size && at < 4096; at += 8) {
      const std::uint64_t address = vellmora::ReadLe(bytes, at, 8);
      for (const std::uint64_t length : {1ull, 16ull, 1800ull}) {
        std::uint64_t offset = 0;
        if (view.MapAddress(address, length, false, &offset) && offset + length > size) {
          std::abort();
        }
      }
    }
  }
  std::string proxy = bytes;
  std::size_t interfaces = 0;
  std::string error;
  if (vellmora::RepairProxyInterfaceTables(&proxy, &interfaces, &error)) {
    if (interfaces != vellmora::kProxyInterfaceCount || proxy.size() != bytes.size()) std::abort();
  } else if (error.empty() || proxy != bytes) {
    std::abort();
  }
  return 0;
}
