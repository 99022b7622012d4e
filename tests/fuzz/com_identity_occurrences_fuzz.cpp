// The occurrence scanner over arbitrary bytes and ranges: occurrences come sorted, apart and
// inside the range, and a patch keeps the length and touches nothing outside the range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "windows/com_identity_occurrences.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the range inside the rest.
  const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::size_t start = data[0] % (bytes.size() + 1);
  const std::size_t end = start + data[1] % (bytes.size() - start + 1);
  std::vector<vellmora::ComIdentityOccurrence> found;
  std::string error;
  const bool scanned = vellmora::FindComIdentityOccurrences(bytes, start, end, &found, &error);
  if (scanned) {
    std::size_t previous_end = start;
    for (const vellmora::ComIdentityOccurrence& occurrence : found) {
      if (occurrence.offset < previous_end || occurrence.offset + occurrence.length > end) {
        std::abort();
      }
      previous_end = occurrence.offset + occurrence.length;
    }
  }
  std::string patched = bytes;
  vellmora::ComReplacementCounters counters;
  const bool ok = vellmora::PatchComIdentityInRange(&patched, start, end, &counters, &error);
  if (patched.size() != bytes.size() || patched.compare(0, start, bytes, 0, start) != 0 ||
      patched.compare(end, std::string::npos, bytes, end, std::string::npos) != 0) {
    std::abort();
  }
  if (ok != scanned || (ok && counters.Total() != found.size())) std::abort();
  if (!ok && patched != bytes) std::abort();
  return 0;
}
