#include "engine/version_patch.h"

namespace vellmora {
namespace {

const std::string kOriginalBlock("2.22.1\0\0", 8);
const std::string kPrivateBlock("3.0.0.1\0", 8);

bool ContinuesANumber(char c) { return (c >= '0' && c <= '9') || c == '.'; }

}  // namespace

std::size_t PatchVersionBlocks(std::string* bytes, std::size_t begin, std::size_t end) {
  if (end > bytes->size()) end = bytes->size();
  std::size_t count = 0;
  std::size_t at = begin;
  while (end >= kOriginalBlock.size() && at <= end - kOriginalBlock.size()) {
    at = bytes->find(kOriginalBlock, at);
    if (at == std::string::npos || at > end - kOriginalBlock.size()) break;
    if (at > 0 && ContinuesANumber((*bytes)[at - 1])) {
      ++at;
      continue;
    }
    bytes->replace(at, kPrivateBlock.size(), kPrivateBlock);
    ++count;
    at += kPrivateBlock.size();
  }
  return count;
}

}  // namespace vellmora
