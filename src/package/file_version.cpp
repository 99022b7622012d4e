#include "package/file_version.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/build_info.h"
#include "platform/version.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kMaxVersionResourceBytes = 1024 * 1024;

// "a.b.c.d" as the two 32-bit halves of a fixed version; false unless every number fits a word.
bool ParsePackageVersion(std::uint32_t* most_significant, std::uint32_t* least_significant) {
  unsigned numbers[4] = {};
  if (std::sscanf(kPackageRelease, "%u.%u.%u.%u", &numbers[0], &numbers[1], &numbers[2],
                  &numbers[3]) != 4) {
    return false;
  }
  for (unsigned number : numbers) {
    if (number > 65535) return false;
  }
  *most_significant = (numbers[0] << 16) | numbers[1];
  *least_significant = (numbers[2] << 16) | numbers[3];
  return true;
}

}  // namespace

bool FileVersionMatches(const platform::Path& executable) {
  std::uint32_t size = platform::GetFileVersionInfoSizeW(executable);
  if (size == 0 || size > kMaxVersionResourceBytes) return false;
  std::vector<std::uint8_t> block;
  if (platform::GetFileVersionInfoW(executable, size, &block) != platform::kErrorSuccess) {
    return false;
  }
  const std::uint8_t* value = nullptr;
  std::uint32_t length = 0;
  if (!platform::VerQueryValueW(block, L"\\", &value, &length) ||
      length < platform::kFixedFileInfoSize) {
    return false;
  }
  platform::FixedFileInfo info;
  std::memcpy(&info, value, platform::kFixedFileInfoSize);
  if (info.signature != platform::kFixedFileInfoSignature) return false;

  std::uint32_t expected_ms = 0;
  std::uint32_t expected_ls = 0;
  if (!ParsePackageVersion(&expected_ms, &expected_ls)) return false;
  return info.file_version_ms == expected_ms && info.file_version_ls == expected_ls &&
         info.product_version_ms == expected_ms && info.product_version_ls == expected_ls;
}

}  // namespace vellmora
