#include "pe_reader.h"

#include <vector>

namespace forge_test {

namespace {

struct Bytes {
  const std::string& data;
  bool Has(std::size_t offset, std::size_t size) const {
    return offset <= data.size() && size <= data.size() - offset;
  }
  std::uint32_t U(std::size_t offset, int size) const {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
      value = (value << 8) | static_cast<unsigned char>(data[offset + i]);
    return value;
  }
};

struct SectionMap {
  std::uint32_t rva, virtual_size, raw_offset, raw_size;
};

bool RvaToOffset(const std::vector<SectionMap>& sections, std::uint32_t rva, std::size_t* offset) {
  for (const SectionMap& s : sections)
    if (rva >= s.rva && rva - s.rva < s.raw_size && rva - s.rva < s.virtual_size) {
      *offset = s.raw_offset + (rva - s.rva);
      return true;
    }
  return false;
}

std::string NarrowKey(const Bytes& b, std::size_t* at, std::size_t end) {
  std::string key;
  while (*at + 2 <= end) {
    const std::uint32_t c = b.U(*at, 2);
    *at += 2;
    if (c == 0) break;
    key.push_back(static_cast<char>(c));
  }
  return key;
}

std::size_t Align4(std::size_t value) { return (value + 3) & ~std::size_t{3}; }

// Walks one version node; `path` is the chain of keys above it.
bool ReadVersionNode(const Bytes& b, std::size_t start, std::size_t limit,
                     const std::vector<std::string>& path, PeFacts* facts, std::size_t* next) {
  if (!b.Has(start, 6)) return false;
  const std::size_t length = b.U(start, 2);
  const std::size_t value_length = b.U(start + 2, 2);
  const std::uint32_t type = b.U(start + 4, 2);
  if (length < 6 || start + length > limit) return false;
  const std::size_t end = start + length;
  std::size_t at = start + 6;
  const std::string key = NarrowKey(b, &at, end);
  at = Align4(at);
  const std::size_t value_bytes = type == 1 ? value_length * 2 : value_length;
  if (at + value_bytes > end) return false;
  if (path.empty()) {
    if (key != "VS_VERSION_INFO" || value_bytes < 52) return false;
    facts->fixed_signature = b.U(at, 4);
    const std::uint32_t fms = b.U(at + 8, 4), fls = b.U(at + 12, 4);
    const std::uint32_t pms = b.U(at + 16, 4), pls = b.U(at + 20, 4);
    facts->file_version = {std::uint16_t(fms >> 16), std::uint16_t(fms), std::uint16_t(fls >> 16),
                           std::uint16_t(fls)};
    facts->product_version = {std::uint16_t(pms >> 16), std::uint16_t(pms),
                              std::uint16_t(pls >> 16), std::uint16_t(pls)};
  } else if (path.size() == 3 && path[1] == "StringFileInfo") {
    std::string text;
    for (std::size_t i = 0; i + 2 <= value_bytes; i += 2) {
      const std::uint32_t c = b.U(at + i, 2);
      if (c == 0) break;
      text.push_back(static_cast<char>(c));
    }
    facts->strings[key] = text;
  } else if (path.size() == 2 && path[1] == "StringFileInfo") {
    facts->translation_key = key;
  }
  at = Align4(at + value_bytes);
  std::vector<std::string> below = path;
  below.push_back(key);
  while (at + 6 <= end) {
    std::size_t after = 0;
    if (!ReadVersionNode(b, at, end, below, facts, &after)) return false;
    at = Align4(after);
  }
  *next = end;
  return true;
}

}  // namespace

PeFacts ReadPe(const std::string& image) {
  PeFacts facts;
  const Bytes b{image};
  auto fail = [&](const char* why) {
    facts.error = why;
    return facts;
  };
  if (!b.Has(0, 64) || image.compare(0, 2, "MZ") != 0) return fail("no MZ header");
  const std::size_t pe = b.U(0x3C, 4);
  if (!b.Has(pe, 24) || image.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
    return fail("no PE signature");
  facts.machine = static_cast<std::uint16_t>(b.U(pe + 4, 2));
  const std::size_t section_count = b.U(pe + 6, 2);
  const std::size_t optional_size = b.U(pe + 20, 2);
  facts.characteristics = static_cast<std::uint16_t>(b.U(pe + 22, 2));
  const std::size_t optional = pe + 24;
  if (optional_size < 240 || !b.Has(optional, optional_size)) return fail("short optional header");
  facts.optional_magic = static_cast<std::uint16_t>(b.U(optional, 2));
  facts.entry_point = b.U(optional + 16, 4);
  facts.size_of_image = b.U(optional + 56, 4);
  const std::size_t checksum_offset = optional + 64;
  facts.stored_checksum = b.U(checksum_offset, 4);
  facts.subsystem = static_cast<std::uint16_t>(b.U(optional + 68, 2));
  if (b.U(optional + 108, 4) < 3) return fail("no resource directory entry");
  const std::uint32_t resource_rva = b.U(optional + 112 + 2 * 8, 4);

  // The checksum as the image help library defines it, computed here from scratch.
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i + 1 < image.size(); i += 2) {
    if (i == checksum_offset || i == checksum_offset + 2) continue;
    sum += b.U(i, 2);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  facts.computed_checksum = static_cast<std::uint32_t>(((sum & 0xFFFF) + (sum >> 16)) + image.size());

  std::vector<SectionMap> sections;
  const std::size_t table = optional + optional_size;
  if (!b.Has(table, 40 * section_count)) return fail("section table out of the file");
  for (std::size_t i = 0; i < section_count; ++i) {
    const std::size_t s = table + 40 * i;
    SectionMap map{b.U(s + 12, 4), b.U(s + 8, 4), b.U(s + 20, 4), b.U(s + 16, 4)};
    if (!b.Has(map.raw_offset, map.raw_size)) return fail("section data out of the file");
    if (map.rva + map.virtual_size > facts.size_of_image) return fail("section past the image");
    sections.push_back(map);
  }
  std::size_t root = 0;
  if (!RvaToOffset(sections, resource_rva, &root)) return fail("resource directory not in a section");
  // Type RT_VERSION, then the first name, then the first language.
  std::size_t directory = root;
  std::uint32_t wanted = 16;
  for (int level = 0; level < 3; ++level) {
    if (!b.Has(directory, 16)) return fail("resource directory out of the file");
    const std::size_t count = b.U(directory + 12, 2) + b.U(directory + 14, 2);
    bool found = false;
    for (std::size_t i = 0; i < count && !found; ++i) {
      const std::size_t entry = directory + 16 + 8 * i;
      if (!b.Has(entry, 8)) return fail("resource entry out of the file");
      if (level == 0 && b.U(entry, 4) != wanted) continue;
      const std::uint32_t target = b.U(entry + 4, 4);
      const bool subdirectory = (target & 0x80000000u) != 0;
      if (subdirectory != (level < 2)) return fail("resource tree has the wrong depth");
      directory = root + (target & 0x7FFFFFFFu);
      found = true;
    }
    if (!found) return fail("no version resource");
  }
  if (!b.Has(directory, 16)) return fail("resource data entry out of the file");
  std::size_t data = 0;
  const std::uint32_t data_size = b.U(directory + 4, 4);
  if (!RvaToOffset(sections, b.U(directory, 4), &data) || !b.Has(data, data_size))
    return fail("version resource data out of the file");
  std::size_t next = 0;
  if (!ReadVersionNode(b, data, data + data_size, {}, &facts, &next))
    return fail("malformed version resource");
  return facts;
}

}  // namespace forge_test
