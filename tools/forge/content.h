#pragma once
// The content of one forged file: fixed head bytes, then a run of pseudo-random filler, then
// fixed tail bytes. Large files (a Root.vhd of hundreds of MiB) are produced piece by piece and
// never held in memory; the same content always yields the same bytes, so that a writer can
// pass over it twice (once for its CRC, once to write it).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace forge {

struct Content {
  std::string head;
  std::uint64_t filler = 0;
  std::uint64_t seed = 1;
  std::string tail;

  std::uint64_t Size() const { return head.size() + filler + tail.size(); }
  // Hands the bytes in order to `sink`, in pieces of at most 1 MiB; stops when it returns false.
  bool Emit(const std::function<bool(std::string_view)>& sink) const;
  // The whole content in memory; for small files only.
  std::string Bytes() const;
  std::uint32_t Crc() const;
};

inline Content TextContent(std::string text) { return Content{std::move(text), 0, 1, {}}; }

}  // namespace forge
