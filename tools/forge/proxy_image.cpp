#include "forge/proxy_image.h"

#include "forge/bytes.h"
#include "forge/pe_image.h"

namespace forge {
namespace {

constexpr std::size_t kTableSize = 80;
constexpr std::size_t kArrays = 4;
constexpr std::uint64_t kDllImageBase = 0x180000000ull;

std::uint64_t GetLe(const std::string& bytes, std::size_t at, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

struct SectionPlace {
  std::uint32_t rva = 0;
  std::uint32_t file_offset = 0;
};

// Where MakePeImage put a section, read back from the image's own section table.
SectionPlace FindSection(const std::string& image, const char* name) {
  const std::size_t pe = GetLe(image, 60, 4);
  const std::size_t count = GetLe(image, pe + 6, 2);
  const std::size_t table = pe + 24 + GetLe(image, pe + 20, 2);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = table + 40 * i;
    if (image.compare(at, std::string(name).size(), name) == 0) {
      return {static_cast<std::uint32_t>(GetLe(image, at + 12, 4)),
              static_cast<std::uint32_t>(GetLe(image, at + 20, 4))};
    }
  }
  return {};
}

void Align8(std::string* data) {
  while (data->size() % 8 != 0) data->push_back('\0');
}

// The read-only data, laid out for a section that starts at image address `base`.
std::string ProxyData(const ProxyImageOptions& options, std::uint64_t base,
                      std::uint64_t lookup_routine) {
  const std::size_t rows = options.iids.size();
  const std::size_t array_bytes = (rows + 1) * 8;
  const std::size_t tables = options.second_table ? 2 : 1;
  const std::size_t arrays_at = kTableSize * tables;
  const std::size_t iids_at = arrays_at + kArrays * array_bytes;
  const std::size_t proxies_at = iids_at + 16 * rows;
  const std::size_t stubs_at = proxies_at + 24 * rows;
  const std::size_t unknown_at = stubs_at + 16 * rows;
  const std::size_t names_at = unknown_at + 16;

  std::string data(names_at, '\0');
  std::string table;
  for (std::size_t a = 0; a < kArrays; ++a) PutLe(&table, base + arrays_at + a * array_bytes, 8);
  PutLe(&table, lookup_routine, 8);
  PutLe(&table, rows, 2);  // TableSize
  PutLe(&table, 2, 2);     // TableVersion
  table.resize(kTableSize, '\0');
  for (std::size_t t = 0; t < tables; ++t) data.replace(kTableSize * t, kTableSize, table);
  // IUnknown, the interface every row delegates to or none.
  const std::string unknown("\0\0\0\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 16);
  data.replace(unknown_at, 16, unknown);

  std::string names;
  for (std::size_t row = 0; row < rows; ++row) {
    const std::uint64_t iid = base + iids_at + 16 * row;
    data.replace(iids_at + 16 * row, 16, options.iids[row]);
    SetLe(&data, proxies_at + 24 * row, 0, 8);
    SetLe(&data, proxies_at + 24 * row + 8, iid, 8);
    SetLe(&data, proxies_at + 24 * row + 16, lookup_routine, 8);
    SetLe(&data, stubs_at + 16 * row, iid, 8);
    const std::uint64_t pointers[kArrays] = {base + proxies_at + 24 * row,
                                             base + stubs_at + 16 * row,
                                             base + names_at + names.size(),
                                             row % 2 == 0 ? 0 : base + unknown_at};
    for (std::size_t a = 0; a < kArrays; ++a) {
      SetLe(&data, arrays_at + a * array_bytes + 8 * row, pointers[a], 8);
    }
    names += options.names[row];
    names.push_back('\0');
  }
  if (options.missing_terminator) SetLe(&data, arrays_at + array_bytes + 8 * rows, base, 8);
  data += names;
  Align8(&data);
  data += options.extra_data;
  return data;
}

}  // namespace

std::string MakeProxyImage(const ProxyImageOptions& options) {
  if (options.iids.size() != options.names.size()) return {};
  for (const std::string& iid : options.iids) {
    if (iid.size() != 16) return {};
  }
  PeImageOptions pe;
  pe.dll = true;
  pe.file_name = "KolvProxyStub.dll";
  pe.description = "Vellmora COM proxy and stub";
  // The layout does not depend on the addresses, so a first image tells where the data will lie.
  pe.read_only_data = ProxyData(options, 0, 0);
  const std::string draft = MakePeImage(pe);
  const SectionPlace text = FindSection(draft, ".text");
  const SectionPlace rdata = FindSection(draft, ".rdata");
  pe.read_only_data = ProxyData(options, kDllImageBase + rdata.rva, kDllImageBase + text.rva);
  return MakePeImage(pe);
}

std::size_t ProxyTableOffset(const std::string& image) {
  return FindSection(image, ".rdata").file_offset;
}

}  // namespace forge
