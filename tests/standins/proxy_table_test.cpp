// The stand-in proxy's MIDL tables, read from the built file as the installer's repair reads them:
// one 224-interface ProxyFileInfo, parallel arrays with their terminators, the IIDs of the
// generated list in ascending binary order, and the three named interfaces at their IIDs.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <set>

#include "standin_support.h"
#include "windows/com_interface_iids.h"

namespace {

using Guid = std::array<unsigned char, 16>;

std::uint64_t Read(const std::string& bytes, std::size_t at, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The binary layout of a GUID text: Data1, Data2 and Data3 little-endian, Data4 as written.
Guid BinaryGuid(std::string_view text) {
  std::string hex;
  for (char c : text)
    if (c != '-') hex.push_back(c);
  Guid raw{};
  for (int i = 0; i < 16; ++i) raw[i] = static_cast<unsigned char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  std::reverse(raw.begin(), raw.begin() + 4);
  std::reverse(raw.begin() + 4, raw.begin() + 6);
  std::reverse(raw.begin() + 6, raw.begin() + 8);
  return raw;
}

struct Section {
  std::uint32_t address, raw_size, raw_offset, characteristics;
};

class ProxyImage {
 public:
  explicit ProxyImage(std::string bytes) : bytes_(std::move(bytes)) {
    const std::size_t pe = Read(bytes_, 60, 4);
    const std::size_t count = Read(bytes_, pe + 6, 2);
    const std::size_t optional = pe + 24;
    base_ = Read(bytes_, optional + 24, 8);
    const std::size_t table = optional + Read(bytes_, pe + 20, 2);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = table + 40 * i;
      sections_.push_back({static_cast<std::uint32_t>(Read(bytes_, at + 12, 4)),
                           static_cast<std::uint32_t>(Read(bytes_, at + 16, 4)),
                           static_cast<std::uint32_t>(Read(bytes_, at + 20, 4)),
                           static_cast<std::uint32_t>(Read(bytes_, at + 36, 4))});
    }
  }
  // The file offset of an image address whose span lies in one section; 0 when none holds it.
  std::size_t Map(std::uint64_t address, std::size_t size, std::uint32_t required = 0) const {
    for (const Section& s : sections_) {
      const std::uint64_t rva = address - base_;
      if (rva >= s.address && rva + size <= std::uint64_t(s.address) + s.raw_size &&
          (s.characteristics & required) == required)
        return rva - s.address + s.raw_offset;
    }
    return 0;
  }
  std::vector<std::size_t> ProxyFileInfoTables() const {
    std::vector<std::size_t> found;
    for (const Section& s : sections_) {
      if (!(s.characteristics & 0x40000000) || s.raw_size < 80) continue;
      for (std::size_t at = s.raw_offset; at + 80 <= s.raw_offset + s.raw_size; at += 8) {
        if (Read(bytes_, at + 40, 2) != 224 || Read(bytes_, at + 42, 2) != 2) continue;
        bool zero = true;
        for (std::size_t i = 44; i < 80; ++i) zero = zero && bytes_[at + i] == 0;
        if (zero) found.push_back(at);
      }
    }
    return found;
  }
  std::uint64_t Pointer(std::size_t at) const { return Read(bytes_, at, 8); }
  Guid GuidAt(std::size_t at) const {
    Guid raw;
    std::memcpy(raw.data(), bytes_.data() + at, 16);
    return raw;
  }
  std::string TextAt(std::size_t at) const { return std::string(bytes_.c_str() + at); }

 private:
  std::string bytes_;
  std::uint64_t base_ = 0;
  std::vector<Section> sections_;
};

TEST(StandInProxy, CarriesTheEngineProxyTableInShippedOrder) {
  const std::string bytes = standin_test::StandInBytes("KolvProxyStub.dll");
  ASSERT_FALSE(bytes.empty());
  const ProxyImage image(bytes);
  const std::vector<std::size_t> tables = image.ProxyFileInfoTables();
  ASSERT_EQ(tables.size(), 1u);
  const std::size_t table = tables[0];
  EXPECT_NE(image.Map(image.Pointer(table + 32), 1, 0x20000000), 0u) << "lookup not executable";

  std::size_t arrays[4];
  for (int i = 0; i < 4; ++i) {
    arrays[i] = image.Map(image.Pointer(table + 8 * i), 1800);
    ASSERT_NE(arrays[i], 0u) << "array " << i;
    EXPECT_EQ(image.Pointer(arrays[i] + 8 * 224), 0u) << "terminator of array " << i;
  }
  std::vector<Guid> iids;
  std::map<std::string, Guid> names;
  for (std::size_t row = 0; row < 224; ++row) {
    const std::size_t proxy = image.Map(image.Pointer(arrays[0] + 8 * row), 16);
    const std::size_t stub = image.Map(image.Pointer(arrays[1] + 8 * row), 8);
    const std::size_t name = image.Map(image.Pointer(arrays[2] + 8 * row), 1);
    ASSERT_TRUE(proxy && stub && name) << "row " << row;
    EXPECT_EQ(image.Pointer(arrays[3] + 8 * row), 0u) << "no interface delegates";
    ASSERT_EQ(image.Pointer(proxy + 8), image.Pointer(stub)) << "row " << row;
    const std::size_t iid = image.Map(image.Pointer(stub), 16);
    ASSERT_NE(iid, 0u);
    iids.push_back(image.GuidAt(iid));
    names[image.TextAt(name)] = iids.back();
  }
  EXPECT_TRUE(std::is_sorted(iids.begin(), iids.end()));
  std::set<Guid> listed;
  for (std::string_view text : vellmora::kComInterfaceIids) listed.insert(BinaryGuid(text));
  EXPECT_EQ(std::set<Guid>(iids.begin(), iids.end()), listed);
  EXPECT_EQ(names.at("IVirtualBoxClient"), BinaryGuid("470A6E9B-2049-4DC1-B901-D967E4CADF8A"));
  EXPECT_EQ(names.at("ISession"), BinaryGuid("889BA8C2-0C06-4E42-86C9-816CEEF5C4B3"));
  EXPECT_EQ(names.at("IVirtualBox"), BinaryGuid("EA319BDC-02C2-46E7-83D1-F6C33C03202B"));
}

}  // namespace
