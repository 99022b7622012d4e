#pragma once
// An independent reader of what the forge's PE images promise: the headers a loader checks, the
// resource directory down to the version resource, the fixed file information and the string
// table. It shares no code with the writer, so that a fault in one is not mirrored in the other.

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace forge_test {

struct PeFacts {
  std::string error;  // empty when the image parsed
  std::uint16_t machine = 0;
  std::uint16_t characteristics = 0;
  std::uint16_t optional_magic = 0;
  std::uint16_t subsystem = 0;
  std::uint32_t entry_point = 0;
  std::uint32_t size_of_image = 0;
  std::uint32_t stored_checksum = 0;
  std::uint32_t computed_checksum = 0;
  std::uint32_t fixed_signature = 0;
  std::array<std::uint16_t, 4> file_version{};
  std::array<std::uint16_t, 4> product_version{};
  std::map<std::string, std::string> strings;  // StringFileInfo values, ASCII
  std::string translation_key;                 // the string table's key, e.g. "040904B0"
};

PeFacts ReadPe(const std::string& image);

}  // namespace forge_test
