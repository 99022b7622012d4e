// The listing scan over arbitrary text, with the Engine's layout and with no rules at all. An
// accepted listing always has a separator line and every marker among its entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "package/archive_listing_scan.h"
#include "package/package_layouts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view listing(reinterpret_cast<const char*>(data), size);
  const vellmora::PackageLayout& layout = vellmora::EnginePackageLayout();
  std::string reason;
  if (vellmora::ScanArchiveListing(listing, layout.required_markers, layout.allowed_roots, &reason)) {
    if (listing.find("----------") == std::string_view::npos) std::abort();
  } else if (reason.empty()) {
    std::abort();
  }
  reason.clear();
  if (!vellmora::ScanArchiveListing(listing, {}, {}, &reason) && reason.empty()) std::abort();
  return 0;
}
