// The manifest checks over arbitrary text for both kinds: no input crashes them, and white space
// added between any two bytes never changes an answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "package/package_manifest_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string spaced;
  for (char c : text) {
    spaced += c;
    spaced += ' ';
  }
  for (const char* kind : {"engine", "instance"}) {
    if (vellmora::ManifestTextMatches(text, kind) != vellmora::ManifestTextMatches(spaced, kind)) {
      std::abort();
    }
  }
  if (vellmora::ManifestTextHasRootDisk(text) != vellmora::ManifestTextHasRootDisk(spaced)) {
    std::abort();
  }
  return 0;
}
