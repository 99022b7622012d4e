// The instance's disk images and VM definitions, read back byte by byte.

#include <cstdio>

#include "forge_test_support.h"

namespace forge_test {
namespace {

std::uint64_t BigEndian(const std::string& bytes, std::size_t offset, int size) {
  std::uint64_t value = 0;
  for (int i = 0; i < size; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

std::uint64_t LittleEndian(const std::string& bytes, std::size_t offset, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

// 16 bytes as a Windows GUID in memory order, in braces, upper case.
std::string GuidText(const std::string& bytes, std::size_t offset) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}",
                static_cast<unsigned>(LittleEndian(bytes, offset, 4)),
                static_cast<unsigned>(LittleEndian(bytes, offset + 4, 2)),
                static_cast<unsigned>(LittleEndian(bytes, offset + 6, 2)),
                static_cast<unsigned>(BigEndian(bytes, offset + 8, 2)),
                static_cast<unsigned long long>(BigEndian(bytes, offset + 10, 6)));
  return text;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// The disk element (from "<HardDisk" to the next '>') that names `location`.
std::string DiskElement(const std::string& definition, const std::string& location) {
  for (std::size_t at = definition.find("<HardDisk"); at != std::string::npos;
       at = definition.find("<HardDisk", at + 1)) {
    const std::string element = definition.substr(at, definition.find('>', at) - at + 1);
    if (element.find("location=\"" + location + "\"") != std::string::npos) return element;
  }
  return {};
}

std::filesystem::path InstanceTree(const std::filesystem::path& dir, std::uint64_t payload) {
  forge::PackageOptions options;
  options.kind = forge::PackageKind::kInstance;
  options.payload_bytes = payload;
  std::string error;
  EXPECT_TRUE(forge::LayOutPackageTree(options, dir, &error)) << error;
  return dir / "payload" / "Instances" / "Pie64";
}

TEST_F(ForgeTest, RootVhdEndsInAValidFooterWhoseUuidTheDefinitionsRegisterAndAttach) {
  for (std::uint64_t payload : {std::uint64_t{256} << 10, std::uint64_t{9} << 20}) {
    SCOPED_TRACE(payload);
    std::filesystem::remove_all(In("tree"));
    const auto dir = InstanceTree(In("tree"), payload);
    const std::string vhd = ReadAll(dir / "Root.vhd");
    ASSERT_GE(vhd.size(), 512u + (1u << 20));
    EXPECT_EQ(vhd.size() % 512, 0u);
    const std::string footer = vhd.substr(vhd.size() - 512);
    EXPECT_EQ(footer.substr(0, 8), "conectix");
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 512; ++i)
      if (i < 64 || i >= 68) sum += static_cast<unsigned char>(footer[i]);
    EXPECT_EQ(BigEndian(footer, 64, 4), std::uint32_t(~sum));
    EXPECT_EQ(BigEndian(footer, 60, 4), 2u);                // fixed disk
    EXPECT_EQ(BigEndian(footer, 48, 8), vhd.size() - 512);  // current size: the data before it
    EXPECT_NE(footer.substr(68, 16), std::string(16, '\0'));
    if (payload > (4u << 20)) {
      EXPECT_GT(vhd.size(), payload - (1u << 20));
    }

    const std::string uuid = GuidText(footer, 68);
    for (const char* name : {"Android.kolv.in", "Pie64.kolv.template"}) {
      SCOPED_TRACE(name);
      const std::string definition = ReadAll(dir / name);
      EXPECT_EQ(Count(definition, uuid), 2u);
      const std::string root = DiskElement(definition, "Root.vhd");
      EXPECT_NE(root.find("uuid=\"" + uuid + "\""), std::string::npos) << root;
      EXPECT_NE(root.find("format=\"VHD\""), std::string::npos) << root;
      EXPECT_NE(root.find("type=\"Normal\""), std::string::npos) << root;
      const std::string boot = DiskElement(definition, "fastboot.vdi");
      EXPECT_NE(boot.find("format=\"VDI\""), std::string::npos) << boot;
      EXPECT_NE(boot.find("type=\"Readonly\""), std::string::npos) << boot;
      EXPECT_EQ(Count(definition, "<HardDisk "), 2u);
    }
  }
}

TEST_F(ForgeTest, FastbootVdiHasAVdiHeaderWithTheRegisteredUuid) {
  const auto dir = InstanceTree(In("tree"), 256 << 10);
  const std::string vdi = ReadAll(dir / "fastboot.vdi");
  ASSERT_GE(vdi.size(), 0x200u);
  EXPECT_EQ(vdi.substr(0, 39), "<<< Oracle VM VirtualBox Disk Image >>>");
  EXPECT_EQ(LittleEndian(vdi, 0x40, 4), 0xBEDA107Fu);
  EXPECT_EQ(LittleEndian(vdi, 0x44, 4), 0x00010001u);
  EXPECT_EQ(LittleEndian(vdi, 0x48, 4), 0x190u);
  const std::uint64_t disk_size = LittleEndian(vdi, 0x170, 8);
  const std::uint64_t block_size = LittleEndian(vdi, 0x178, 4);
  ASSERT_GT(block_size, 0u);
  EXPECT_EQ(LittleEndian(vdi, 0x180, 4), (disk_size + block_size - 1) / block_size);
  EXPECT_GE(vdi.size(), LittleEndian(vdi, 0x158, 4));  // the data offset lies in the file
  const std::string boot = DiskElement(ReadAll(dir / "Android.kolv.in"), "fastboot.vdi");
  EXPECT_NE(boot.find("uuid=\"" + GuidText(vdi, 0x188) + "\""), std::string::npos) << boot;
}

TEST_F(ForgeTest, DataVhdxStartsWithTheVhdxIdentifierAndTwoHeaders) {
  const std::string vhdx = ReadAll(InstanceTree(In("tree"), 256 << 10) / "Data.vhdx");
  ASSERT_GE(vhdx.size(), 3u * 64 * 1024);
  EXPECT_EQ(vhdx.substr(0, 8), "vhdxfile");
  EXPECT_EQ(vhdx.substr(64 * 1024, 4), "head");
  EXPECT_EQ(vhdx.substr(128 * 1024, 4), "head");
}

}  // namespace
}  // namespace forge_test
