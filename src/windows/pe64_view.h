#pragma once
// A read-only view of a PE file's headers and section table, for the code that patches and checks
// the Engine's binaries in place. Every offset and size in a header is untrusted: they are added
// in 64 bits and checked against the file's size before anything is read.

#include <cstdint>
#include <string_view>
#include <vector>

namespace vellmora {

inline constexpr std::uint32_t kSectionMemExecute = 0x20000000;  // IMAGE_SCN_MEM_EXECUTE
inline constexpr std::uint32_t kSectionMemRead = 0x40000000;     // IMAGE_SCN_MEM_READ
inline constexpr std::uint64_t kLargestSectionCount = 96;

struct PeSection {
  std::uint32_t virtual_address = 0;
  std::uint32_t raw_size = 0;     // SizeOfRawData
  std::uint32_t raw_pointer = 0;  // PointerToRawData
  std::uint32_t characteristics = 0;
};

enum class PeHeaderCheck {
  kValid,
  kNotPe,               // shorter than 64 bytes or no "MZ"
  kNoSignature,         // no "PE\0\0" with a file header at the offset stored at byte 60
  kBadSectionTable,     // more than 96 sections, or the table does not fit in the file
};

struct PeHeaders {
  std::uint64_t signature_offset = 0;
  std::uint16_t machine = 0;
  std::uint16_t optional_header_size = 0;
  std::uint16_t section_count = 0;
  std::vector<PeSection> sections;
};

// The DOS header, the signature, the file header and the section table.
PeHeaderCheck ReadPeHeaders(std::string_view bytes, PeHeaders* headers);

enum class Pe64Check {
  kValid,
  kNotPe,
  kInvalidHeader,
  kNotPe32PlusX64,      // machine, optional header size or magic, or 0 or over 96 sections
  kSectionTableOutside,
  kNoImageBase,
  kSectionOutsideFile,  // a section's raw data range does not lie in the file
};

// A PE32+ x64 image: its preferred base and sections, and the mapping of image addresses to
// file offsets.
class Pe64View {
 public:
  std::uint64_t image_base() const { return image_base_; }
  const std::vector<PeSection>& sections() const { return sections_; }

  // The file offset of [address, address + length) when one section's raw data holds the whole
  // span (with kSectionMemExecute when require_execute) and the span lies in the file.
  bool MapAddress(std::uint64_t address, std::uint64_t length, bool require_execute,
                  std::uint64_t* offset) const;

 private:
  friend Pe64Check ParsePe64Image(std::string_view bytes, Pe64View* view);
  std::uint64_t image_base_ = 0;
  std::uint64_t file_size_ = 0;
  std::vector<PeSection> sections_;
};

Pe64Check ParsePe64Image(std::string_view bytes, Pe64View* view);

// Little-endian reads; the caller has checked that the bytes exist.
std::uint64_t ReadLe(std::string_view bytes, std::uint64_t offset, int size);

}  // namespace vellmora
