// The name rules over arbitrary bytes: an accepted path is a fixed point of normalisation and
// holds nothing the rules forbid.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "package/archive_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path(reinterpret_cast<const char*>(data), size);
  std::string normalised;
  if (!vellmora::NormaliseArchivePath(path, &normalised)) return 0;
  std::string again;
  if (!vellmora::NormaliseArchivePath(normalised, &again) || again != normalised) std::abort();
  if (normalised.empty() || normalised.front() == '/' || normalised.back() == '/' ||
      normalised.find("//") != std::string::npos || normalised.find('\\') != std::string::npos) {
    std::abort();
  }
  for (char c : normalised) {
    if (c < 32 || c > 126 || (c >= 'A' && c <= 'Z')) std::abort();
  }
  if (!vellmora::IsEntryAllowed(normalised, {normalised})) std::abort();
  return 0;
}
