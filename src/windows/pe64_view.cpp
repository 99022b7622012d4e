#include "windows/pe64_view.h"

namespace vellmora {
namespace {

constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::uint64_t kSignatureAndFileHeader = 24;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kSmallestPe64OptionalHeader = 112;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;

}  // namespace

std::uint64_t ReadLe(std::string_view bytes, std::uint64_t offset, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) {
    value = value << 8 | static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(offset) + i]);
  }
  return value;
}

PeHeaderCheck ReadPeHeaders(std::string_view bytes, PeHeaders* headers) {
  const std::uint64_t size = bytes.size();
  if (size < kDosHeaderSize || bytes[0] != 'M' || bytes[1] != 'Z') return PeHeaderCheck::kNotPe;
  const std::uint64_t signature = ReadLe(bytes, 60, 4);
  if (signature + kSignatureAndFileHeader > size ||
      bytes.substr(static_cast<std::size_t>(signature), 4) != std::string_view("PE\0\0", 4)) {
    return PeHeaderCheck::kNoSignature;
  }
  headers->signature_offset = signature;
  headers->machine = static_cast<std::uint16_t>(ReadLe(bytes, signature + 4, 2));
  headers->section_count = static_cast<std::uint16_t>(ReadLe(bytes, signature + 6, 2));
  headers->optional_header_size = static_cast<std::uint16_t>(ReadLe(bytes, signature + 20, 2));
  const std::uint64_t table = signature + kSignatureAndFileHeader + headers->optional_header_size;
  if (headers->section_count > kLargestSectionCount ||
      table + kSectionHeaderSize * headers->section_count > size) {
    return PeHeaderCheck::kBadSectionTable;
  }
  headers->sections.clear();
  for (std::uint64_t i = 0; i < headers->section_count; ++i) {
    const std::uint64_t at = table + kSectionHeaderSize * i;
    PeSection section;
    section.virtual_address = static_cast<std::uint32_t>(ReadLe(bytes, at + 12, 4));
    section.raw_size = static_cast<std::uint32_t>(ReadLe(bytes, at + 16, 4));
    section.raw_pointer = static_cast<std::uint32_t>(ReadLe(bytes, at + 20, 4));
    section.characteristics = static_cast<std::uint32_t>(ReadLe(bytes, at + 36, 4));
    headers->sections.push_back(section);
  }
  return PeHeaderCheck::kValid;
}

Pe64Check ParsePe64Image(std::string_view bytes, Pe64View* view) {
  const std::uint64_t size = bytes.size();
  if (size < kDosHeaderSize || bytes[0] != 'M' || bytes[1] != 'Z') return Pe64Check::kNotPe;
  const std::uint64_t signature = ReadLe(bytes, 60, 4);
  if (signature + kSignatureAndFileHeader > size ||
      bytes.substr(static_cast<std::size_t>(signature), 4) != std::string_view("PE\0\0", 4)) {
    return Pe64Check::kInvalidHeader;
  }
  const std::uint64_t machine = ReadLe(bytes, signature + 4, 2);
  const std::uint64_t section_count = ReadLe(bytes, signature + 6, 2);
  const std::uint64_t optional_size = ReadLe(bytes, signature + 20, 2);
  const std::uint64_t optional = signature + kSignatureAndFileHeader;
  if (machine != kMachineAmd64 || optional_size < kSmallestPe64OptionalHeader ||
      optional + optional_size > size || ReadLe(bytes, optional, 2) != kPe32PlusMagic ||
      section_count == 0 || section_count > kLargestSectionCount) {
    return Pe64Check::kNotPe32PlusX64;
  }
  PeHeaders headers;
  if (ReadPeHeaders(bytes, &headers) != PeHeaderCheck::kValid) {
    return Pe64Check::kSectionTableOutside;
  }
  view->image_base_ = ReadLe(bytes, optional + 24, 8);
  if (view->image_base_ == 0) return Pe64Check::kNoImageBase;
  for (const PeSection& section : headers.sections) {
    if (section.raw_size != 0 &&
        std::uint64_t{section.raw_pointer} + section.raw_size > size) {
      return Pe64Check::kSectionOutsideFile;
    }
  }
  view->file_size_ = size;
  view->sections_ = std::move(headers.sections);
  return Pe64Check::kValid;
}

bool Pe64View::MapAddress(std::uint64_t address, std::uint64_t length, bool require_execute,
                          std::uint64_t* offset) const {
  if (address < image_base_ || address - image_base_ > 0xFFFFFFFFull) return false;
  const std::uint64_t relative = address - image_base_;
  for (const PeSection& section : sections_) {
    if (require_execute && (section.characteristics & kSectionMemExecute) == 0) continue;
    if (relative < section.virtual_address ||
        relative + length > std::uint64_t{section.virtual_address} + section.raw_size) {
      continue;
    }
    const std::uint64_t at = relative - section.virtual_address + section.raw_pointer;
    if (at + length > file_size_) return false;
    *offset = at;
    return true;
  }
  return false;
}

}  // namespace vellmora
