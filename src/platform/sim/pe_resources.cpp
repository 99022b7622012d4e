#include "platform/sim/pe_resources.h"

#include <optional>

namespace sim::internal {
namespace {

using platform::Win32Error;

class ImageReader {
 public:
  explicit ImageReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

  bool Has(std::uint64_t offset, std::uint64_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  std::optional<std::uint32_t> U16(std::uint64_t offset) const {
    if (!Has(offset, 2)) return std::nullopt;
    return static_cast<std::uint32_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
  }
  std::optional<std::uint32_t> U32(std::uint64_t offset) const {
    if (!Has(offset, 4)) return std::nullopt;
    return static_cast<std::uint32_t>(bytes_[offset]) |
           (static_cast<std::uint32_t>(bytes_[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes_[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes_[offset + 3]) << 24);
  }

 private:
  const std::vector<std::uint8_t>& bytes_;
};

struct Section {
  std::uint32_t virtual_address;
  std::uint32_t virtual_size;
  std::uint32_t raw_size;
  std::uint32_t raw_offset;
};

struct Image {
  std::vector<Section> sections;
  std::uint32_t resource_rva = 0;
  std::uint32_t resource_size = 0;
};

constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000;

Win32Error ReadHeaders(const ImageReader& reader, Image* image) {
  if (reader.U16(0) != 0x5A4D) return kErrorBadExeFormat;  // "MZ"
  auto pe_offset = reader.U32(0x3C);
  if (!pe_offset || reader.U32(*pe_offset) != 0x00004550) return kErrorBadExeFormat;  // "PE\0\0"
  std::uint64_t coff = *pe_offset + 4ull;
  auto section_count = reader.U16(coff + 2);
  auto optional_size = reader.U16(coff + 16);
  std::uint64_t optional = coff + 20;
  auto magic = reader.U16(optional);
  if (!section_count || !optional_size || !magic) return kErrorBadExeFormat;
  std::uint64_t directories;
  if (*magic == 0x10B) {
    directories = 96;
  } else if (*magic == 0x20B) {
    directories = 112;
  } else {
    return kErrorBadExeFormat;
  }
  auto directory_count = reader.U32(optional + directories - 4);
  if (!directory_count) return kErrorBadExeFormat;
  if (*directory_count > kResourceDirectoryIndex &&
      directories + 8ull * (kResourceDirectoryIndex + 1) <= *optional_size) {
    std::uint64_t entry = optional + directories + 8ull * kResourceDirectoryIndex;
    auto rva = reader.U32(entry);
    auto size = reader.U32(entry + 4);
    if (!rva || !size) return kErrorBadExeFormat;
    image->resource_rva = *rva;
    image->resource_size = *size;
  }
  std::uint64_t table = optional + *optional_size;
  for (std::uint32_t i = 0; i < *section_count; ++i) {
    std::uint64_t header = table + 40ull * i;
    auto virtual_size = reader.U32(header + 8);
    auto virtual_address = reader.U32(header + 12);
    auto raw_size = reader.U32(header + 16);
    auto raw_offset = reader.U32(header + 20);
    if (!virtual_size || !virtual_address || !raw_size || !raw_offset) return kErrorBadExeFormat;
    image->sections.push_back({*virtual_address, *virtual_size, *raw_size, *raw_offset});
  }
  return platform::kErrorSuccess;
}

// The file offset of `size` bytes at `rva`, when they lie in one section's raw data.
std::optional<std::uint64_t> FileOffsetOf(const Image& image, std::uint32_t rva, std::uint32_t size) {
  for (const Section& section : image.sections) {
    if (rva < section.virtual_address) continue;
    std::uint64_t delta = rva - section.virtual_address;
    if (delta + size <= section.raw_size) return section.raw_offset + delta;
  }
  return std::nullopt;
}

// The OffsetToData of the directory entry with numeric id `id` (or of the first entry when id is
// absent), in the directory at `directory` (an offset from the resource section's start).
std::optional<std::uint32_t> FindEntry(const ImageReader& reader, std::uint64_t base,
                                       std::uint32_t directory, std::optional<std::uint32_t> id) {
  auto named = reader.U16(base + directory + 12);
  auto ids = reader.U16(base + directory + 14);
  if (!named || !ids) return std::nullopt;
  std::uint64_t first = base + directory + 16;
  for (std::uint32_t i = 0; i < *named + *ids; ++i) {
    auto name = reader.U32(first + 8ull * i);
    auto offset = reader.U32(first + 8ull * i + 4);
    if (!name || !offset) return std::nullopt;
    if (!id || (i >= *named && *name == *id)) return *offset;
  }
  return std::nullopt;
}

}  // namespace

Win32Error FindPeResource(const std::vector<std::uint8_t>& bytes, std::uint32_t type,
                          std::uint32_t id, std::vector<std::uint8_t>* resource) {
  ImageReader reader(bytes);
  Image image;
  Win32Error error = ReadHeaders(reader, &image);
  if (error != platform::kErrorSuccess) return error;
  if (image.resource_rva == 0) return kErrorResourceTypeNotFound;
  auto base = FileOffsetOf(image, image.resource_rva, 16);
  if (!base) return kErrorBadExeFormat;

  auto by_type = FindEntry(reader, *base, 0, type);
  if (!by_type || !(*by_type & kSubdirectoryBit)) return kErrorResourceTypeNotFound;
  auto by_name = FindEntry(reader, *base, *by_type & ~kSubdirectoryBit, id);
  if (!by_name || !(*by_name & kSubdirectoryBit)) return kErrorResourceNameNotFound;
  auto by_language = FindEntry(reader, *base, *by_name & ~kSubdirectoryBit, std::nullopt);
  if (!by_language || (*by_language & kSubdirectoryBit)) return kErrorResourceNameNotFound;

  auto data_rva = reader.U32(*base + *by_language);
  auto data_size = reader.U32(*base + *by_language + 4);
  if (!data_rva || !data_size) return kErrorBadExeFormat;
  auto data = FileOffsetOf(image, *data_rva, *data_size);
  if (!data || !reader.Has(*data, *data_size)) return kErrorBadExeFormat;
  resource->assign(bytes.begin() + static_cast<std::ptrdiff_t>(*data),
                   bytes.begin() + static_cast<std::ptrdiff_t>(*data + *data_size));
  return platform::kErrorSuccess;
}

}  // namespace sim::internal
