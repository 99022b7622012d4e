#include "forge/pe_image.h"

#include <cstdio>
#include <vector>

#include "forge/bytes.h"

namespace forge {

namespace {

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kPeOffset = 0x80;
constexpr std::uint32_t kOptionalHeaderSize = 240;
constexpr std::uint16_t kResourceTypeVersion = 16;
constexpr std::uint16_t kLanguageEnUs = 0x0409;

std::uint32_t AlignUp(std::uint64_t value, std::uint32_t alignment) {
  return static_cast<std::uint32_t>((value + alignment - 1) / alignment * alignment);
}

void PadTo4(std::string* out) {
  while (out->size() % 4 != 0) out->push_back('\0');
}

// One node of a version resource: length, value length, type, key, value, children, each part
// aligned to 32 bits. The length counts the node without the padding after its last child.
std::string VersionNode(const std::string& key, const std::string& value,
                        std::uint16_t value_length, std::uint16_t type,
                        const std::vector<std::string>& children) {
  std::string node(6, '\0');
  node += Utf16Le(key);
  node.append(2, '\0');
  PadTo4(&node);
  node += value;
  for (const std::string& child : children) {
    PadTo4(&node);
    node += child;
  }
  SetLe(&node, 0, node.size(), 2);
  SetLe(&node, 2, value_length, 2);
  SetLe(&node, 4, type, 2);
  return node;
}

std::string VersionString(const std::string& key, const std::string& text) {
  std::string value = Utf16Le(text);
  value.append(2, '\0');
  return VersionNode(key, value, static_cast<std::uint16_t>(text.size() + 1), 1, {});
}

std::string VersionResource(const PeImageOptions& options,
                            const std::array<std::uint16_t, 4>& file,
                            const std::array<std::uint16_t, 4>& product) {
  std::string fixed;
  PutLe(&fixed, 0xFEEF04BDu, 4);                                  // signature
  PutLe(&fixed, 0x00010000u, 4);                                  // structure version
  PutLe(&fixed, (std::uint32_t{file[0]} << 16) | file[1], 4);
  PutLe(&fixed, (std::uint32_t{file[2]} << 16) | file[3], 4);
  PutLe(&fixed, (std::uint32_t{product[0]} << 16) | product[1], 4);
  PutLe(&fixed, (std::uint32_t{product[2]} << 16) | product[3], 4);
  PutLe(&fixed, 0x3Fu, 4);                                        // flags mask
  PutLe(&fixed, 0u, 4);                                           // flags
  PutLe(&fixed, 0x00040004u, 4);                                  // VOS_NT_WINDOWS32
  PutLe(&fixed, options.dll ? 2u : 1u, 4);                        // VFT_DLL / VFT_APP
  PutLe(&fixed, 0u, 4);                                           // subtype
  PutLe(&fixed, 0u, 8);                                           // date

  const std::string table = VersionNode(
      "040904B0", "", 0, 1,
      {VersionString("CompanyName", "Ostrevin"),
       VersionString("FileDescription", options.description),
       VersionString("FileVersion", options.file_version),
       VersionString("InternalName", options.file_name),
       VersionString("LegalCopyright", "Copyright (C) Ostrevin"),
       VersionString("OriginalFilename", options.file_name),
       VersionString("ProductName", "Vellmora"),
       VersionString("ProductVersion", options.product_version)});
  std::string translation;
  PutLe(&translation, kLanguageEnUs, 2);
  PutLe(&translation, 0x04B0, 2);  // Unicode
  return VersionNode(
      "VS_VERSION_INFO", fixed, static_cast<std::uint16_t>(fixed.size()), 0,
      {VersionNode("StringFileInfo", "", 0, 1, {table}),
       VersionNode("VarFileInfo", "", 0, 1,
                   {VersionNode("Translation", translation, 4, 0, {})})});
}

// A resource directory with one entry: the high bit of the offset marks a subdirectory.
void PutResourceDirectory(std::string* out, std::uint32_t id, std::uint32_t offset,
                          bool subdirectory) {
  PutLe(out, 0, 4);   // characteristics
  PutLe(out, 0, 4);   // time stamp
  PutLe(out, 0, 4);   // version
  PutLe(out, 0, 2);   // named entries
  PutLe(out, 1, 2);   // id entries
  PutLe(out, id, 4);
  PutLe(out, subdirectory ? (0x80000000u | offset) : offset, 4);
}

std::string ResourceSection(std::uint32_t section_rva, const std::string& version) {
  std::string rsrc;
  PutResourceDirectory(&rsrc, kResourceTypeVersion, 24, true);
  PutResourceDirectory(&rsrc, 1, 48, true);
  PutResourceDirectory(&rsrc, kLanguageEnUs, 72, false);
  const std::uint32_t data_offset = 72 + 16;
  PutLe(&rsrc, section_rva + data_offset, 4);
  PutLe(&rsrc, version.size(), 4);
  PutLe(&rsrc, 0, 4);  // code page
  PutLe(&rsrc, 0, 4);
  rsrc += version;
  return rsrc;
}

struct Section {
  const char* name;
  std::string data;
  std::uint32_t characteristics;
  std::uint32_t rva = 0;
  std::uint32_t file_offset = 0;
};

}  // namespace

bool ParseFourPartVersion(const std::string& text, std::array<std::uint16_t, 4>* parts) {
  std::size_t position = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (position >= text.size() || text[position] != '.') return false;
      ++position;
    }
    std::uint32_t value = 0;
    const std::size_t start = position;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
      value = value * 10 + static_cast<std::uint32_t>(text[position] - '0');
      if (value > 65535) return false;
      ++position;
    }
    if (position == start) return false;
    (*parts)[i] = static_cast<std::uint16_t>(value);
  }
  return position == text.size();
}

std::uint32_t PeChecksum(const std::string& image, std::size_t checksum_offset) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < image.size(); i += 2) {
    if (i == checksum_offset || i == checksum_offset + 2) continue;
    std::uint32_t word = static_cast<unsigned char>(image[i]);
    if (i + 1 < image.size()) word |= std::uint32_t{static_cast<unsigned char>(image[i + 1])} << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + image.size());
}

std::string MakePeImage(const PeImageOptions& options) {
  std::array<std::uint16_t, 4> file{};
  std::array<std::uint16_t, 4> product{};
  if (!ParseFourPartVersion(options.file_version, &file) ||
      !ParseFourPartVersion(options.product_version, &product))
    return {};

  // Entry point: a program returns 0, a library's DllMain returns TRUE.
  const std::string code = options.dll ? std::string("\xB8\x01\x00\x00\x00\xC3", 6)
                                       : std::string("\x31\xC0\xC3", 3);
  std::vector<Section> sections;
  sections.push_back({".text", code, 0x60000020u});  // code, execute, read
  if (!options.read_only_data.empty())
    sections.push_back({".rdata", options.read_only_data, 0x40000040u});  // data, read
  sections.push_back({".rsrc", "", 0x40000040u});

  const std::uint32_t headers_size =
      AlignUp(kPeOffset + 4 + 20 + kOptionalHeaderSize + 40 * sections.size(), kFileAlignment);
  std::uint32_t rva = kSectionAlignment;
  std::uint32_t file_offset = headers_size;
  for (Section& section : sections) {
    section.rva = rva;
    section.file_offset = file_offset;
    if (std::string(section.name) == ".rsrc")
      section.data = ResourceSection(rva, VersionResource(options, file, product));
    rva += AlignUp(section.data.size(), kSectionAlignment);
    file_offset += AlignUp(section.data.size(), kFileAlignment);
  }
  const Section& text = sections.front();
  const Section& rsrc = sections.back();
  std::uint32_t initialized_data = 0;
  for (std::size_t i = 1; i < sections.size(); ++i)
    initialized_data += AlignUp(sections[i].data.size(), kFileAlignment);

  std::string image;
  // DOS header: only the signature and the offset of the PE header matter to a loader.
  image += "MZ";
  PutLe(&image, 0x90, 2);  // bytes on the last page
  PutLe(&image, 3, 2);     // pages
  PutLe(&image, 0, 2);
  PutLe(&image, 4, 2);     // header paragraphs
  image.resize(0x3C, '\0');
  PutLe(&image, kPeOffset, 4);
  // A DOS stub that prints a line and exits.
  image += std::string("\x0E\x1F\xBA\x0E\x00\xB4\x09\xCD\x21\xB8\x01\x4C\xCD\x21", 14);
  image += "This program cannot be run in DOS mode.\r\r\n$";
  image.resize(kPeOffset, '\0');

  image += std::string("PE\0\0", 4);
  PutLe(&image, 0x8664, 2);  // x64
  PutLe(&image, sections.size(), 2);
  PutLe(&image, 0x68F1C000u, 4);  // time stamp, fixed so that forged files are reproducible
  PutLe(&image, 0, 4);
  PutLe(&image, 0, 4);
  PutLe(&image, kOptionalHeaderSize, 2);
  // Executable, large-address aware, relocations stripped (the image has none); library flag.
  PutLe(&image, 0x0023 | (options.dll ? 0x2000 : 0), 2);

  const std::size_t optional = image.size();
  PutLe(&image, 0x20B, 2);  // PE32+
  PutLe(&image, 14, 1);     // linker version
  PutLe(&image, 0, 1);
  PutLe(&image, AlignUp(text.data.size(), kFileAlignment), 4);
  PutLe(&image, initialized_data, 4);
  PutLe(&image, 0, 4);
  PutLe(&image, text.rva, 4);  // entry point: the first byte of .text
  PutLe(&image, text.rva, 4);
  PutLe(&image, options.dll ? 0x180000000ull : 0x140000000ull, 8);
  PutLe(&image, kSectionAlignment, 4);
  PutLe(&image, kFileAlignment, 4);
  PutLe(&image, 6, 2);  // operating system version
  PutLe(&image, 0, 2);
  PutLe(&image, file[0], 2);  // image version
  PutLe(&image, file[1], 2);
  PutLe(&image, 6, 2);  // subsystem version
  PutLe(&image, 0, 2);
  PutLe(&image, 0, 4);
  PutLe(&image, rva, 4);  // size of image
  PutLe(&image, headers_size, 4);
  const std::size_t checksum_offset = image.size();
  PutLe(&image, 0, 4);
  PutLe(&image, options.dll ? 3 : 2, 2);  // Windows console / GUI
  PutLe(&image, 0x0100 | (options.dll ? 0 : 0x8000), 2);  // NX compatible; terminal-server aware
  PutLe(&image, 0x100000, 8);  // stack reserve
  PutLe(&image, 0x1000, 8);    // stack commit
  PutLe(&image, 0x100000, 8);  // heap reserve
  PutLe(&image, 0x1000, 8);    // heap commit
  PutLe(&image, 0, 4);
  PutLe(&image, 16, 4);  // data directories
  for (int i = 0; i < 16; ++i) {
    const bool resources = i == 2;
    PutLe(&image, resources ? rsrc.rva : 0, 4);
    PutLe(&image, resources ? rsrc.data.size() : 0, 4);
  }
  if (image.size() - optional != kOptionalHeaderSize) return {};

  for (const Section& section : sections) {
    std::string name(section.name);
    name.resize(8, '\0');
    image += name;
    PutLe(&image, section.data.size(), 4);
    PutLe(&image, section.rva, 4);
    PutLe(&image, AlignUp(section.data.size(), kFileAlignment), 4);
    PutLe(&image, section.file_offset, 4);
    PutLe(&image, 0, 4);
    PutLe(&image, 0, 4);
    PutLe(&image, 0, 2);
    PutLe(&image, 0, 2);
    PutLe(&image, section.characteristics, 4);
  }
  image.resize(headers_size, '\0');
  for (const Section& section : sections) {
    image += section.data;
    image.resize(section.file_offset + AlignUp(section.data.size(), kFileAlignment), '\0');
  }
  SetLe(&image, checksum_offset, PeChecksum(image, checksum_offset), 4);
  return image;
}

}  // namespace forge
