#include "forge/disk_images.h"

#include <cstdio>

#include "forge/bytes.h"
#include "forge/crc32.h"

namespace forge {

namespace {

// Cylinders, heads and sectors per track for a disk size, as the VHD format computes them.
std::uint32_t VhdGeometry(std::uint64_t disk_size) {
  std::uint64_t sectors = disk_size / 512;
  if (sectors > 65535ull * 16 * 255) sectors = 65535ull * 16 * 255;
  std::uint64_t per_track = 0;
  std::uint64_t heads = 0;
  std::uint64_t cylinder_times_heads = 0;
  if (sectors >= 65535ull * 16 * 63) {
    per_track = 255;
    heads = 16;
    cylinder_times_heads = sectors / per_track;
  } else {
    per_track = 17;
    cylinder_times_heads = sectors / per_track;
    heads = (cylinder_times_heads + 1023) / 1024;
    if (heads < 4) heads = 4;
    if (cylinder_times_heads >= heads * 1024 || heads > 16) {
      per_track = 31;
      heads = 16;
      cylinder_times_heads = sectors / per_track;
    }
    if (cylinder_times_heads >= heads * 1024) {
      per_track = 63;
      heads = 16;
      cylinder_times_heads = sectors / per_track;
    }
  }
  const std::uint64_t cylinders = cylinder_times_heads / heads;
  return static_cast<std::uint32_t>((cylinders << 16) | (heads << 8) | per_track);
}

}  // namespace

std::string VhdFooter(std::uint64_t disk_size, const DiskUuid& uuid, FooterFault fault) {
  std::string footer = fault == FooterFault::kWrongCookie ? "Conectix" : "conectix";
  PutBe(&footer, 0x00000002u, 4);           // features: reserved bit, always set
  PutBe(&footer, 0x00010000u, 4);           // format version 1.0
  PutBe(&footer, 0xFFFFFFFFFFFFFFFFull, 8); // data offset: none for a fixed disk
  PutBe(&footer, 0x30A3E300u, 4);           // time stamp (seconds since 2000), fixed
  footer += "vlmf";                         // creator application
  PutBe(&footer, 0x00010000u, 4);           // creator version
  footer += "Wi2k";                         // creator host
  PutBe(&footer, disk_size, 8);             // original size
  PutBe(&footer, disk_size, 8);             // current size
  PutBe(&footer, VhdGeometry(disk_size), 4);
  PutBe(&footer, 2u, 4);                    // disk type: fixed
  PutBe(&footer, 0u, 4);                    // checksum, below
  if (fault == FooterFault::kZeroUuid)
    footer.append(uuid.size(), '\0');
  else
    footer.append(reinterpret_cast<const char*>(uuid.data()), uuid.size());
  footer.resize(512, '\0');                 // saved state and reserved bytes
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < footer.size(); ++i)
    if (i < 64 || i >= 68) sum += static_cast<unsigned char>(footer[i]);
  SetBe(&footer, 64, fault == FooterFault::kWrongChecksum ? ~sum ^ 1u : ~sum, 4);
  return footer;
}

Content FixedVhd(std::uint64_t disk_size, const DiskUuid& uuid, FooterFault fault) {
  Content content;
  content.filler = disk_size;
  content.seed = 0x5644;
  content.tail = VhdFooter(disk_size, uuid, fault);
  return content;
}

std::string RegistryFormUuid(const DiskUuid& u) {
  char text[39];
  std::snprintf(text, sizeof text,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", u[3],
                u[2], u[1], u[0], u[5], u[4], u[7], u[6], u[8], u[9], u[10], u[11], u[12], u[13],
                u[14], u[15]);
  return text;
}

std::string DynamicVdi(std::uint64_t disk_size, const DiskUuid& uuid) {
  constexpr std::uint32_t kBlockSize = 1u << 20;
  const auto blocks = static_cast<std::uint32_t>((disk_size + kBlockSize - 1) / kBlockSize);
  const std::uint32_t map_offset = 0x200;
  const std::uint32_t data_offset = (map_offset + blocks * 4 + 0x1FF) / 0x200 * 0x200;
  std::string vdi = "<<< Oracle VM VirtualBox Disk Image >>>\n";
  vdi.resize(0x40, '\0');
  PutLe(&vdi, 0xBEDA107Fu, 4);  // signature
  PutLe(&vdi, 0x00010001u, 4);  // version 1.1
  PutLe(&vdi, 0x190u, 4);       // header size
  PutLe(&vdi, 1u, 4);           // image type: dynamic
  PutLe(&vdi, 0u, 4);           // flags
  std::string description = "Pie64 boot disk";
  description.resize(256, '\0');
  vdi += description;
  PutLe(&vdi, map_offset, 4);
  PutLe(&vdi, data_offset, 4);
  for (int i = 0; i < 4; ++i) PutLe(&vdi, i == 3 ? 512u : 0u, 4);  // legacy geometry
  PutLe(&vdi, 0u, 4);
  PutLe(&vdi, disk_size, 8);
  PutLe(&vdi, kBlockSize, 4);
  PutLe(&vdi, 0u, 4);  // block extra data
  PutLe(&vdi, blocks, 4);
  PutLe(&vdi, 0u, 4);  // blocks allocated
  vdi.append(reinterpret_cast<const char*>(uuid.data()), uuid.size());
  DiskUuid snapshot = uuid;
  snapshot[15] ^= 0x5A;
  vdi.append(reinterpret_cast<const char*>(snapshot.data()), snapshot.size());
  vdi.append(32, '\0');  // link and parent UUIDs
  for (int i = 0; i < 4; ++i) PutLe(&vdi, i == 3 ? 512u : 0u, 4);  // logical geometry
  vdi.resize(map_offset, '\0');
  for (std::uint32_t i = 0; i < blocks; ++i) PutLe(&vdi, 0xFFFFFFFFu, 4);  // not allocated
  vdi.resize(data_offset, '\0');
  return vdi;
}

std::string MinimalVhdx() {
  std::string vhdx = "vhdxfile";
  vhdx += Utf16Le("Vellmora package forge");
  vhdx.resize(64 * 1024, '\0');
  for (std::uint64_t sequence = 1; sequence <= 2; ++sequence) {
    std::string header = "head";
    PutLe(&header, 0u, 4);  // checksum, below
    PutLe(&header, sequence, 8);
    for (int guid = 0; guid < 2; ++guid)  // file write and data write GUIDs
      for (int i = 0; i < 16; ++i) header.push_back(static_cast<char>(0x40 + 16 * guid + i));
    header.append(16, '\0');  // no log
    PutLe(&header, 0u, 2);    // log version
    PutLe(&header, 1u, 2);    // version
    PutLe(&header, 1u << 20, 4);
    PutLe(&header, 1u << 20, 8);
    header.resize(4096, '\0');
    Crc32 crc(Crc32::Polynomial::kCastagnoli);
    crc.Update(header.data(), header.size());
    SetLe(&header, 4, crc.Value(), 4);
    header.resize(64 * 1024, '\0');
    vhdx += header;
  }
  return vhdx;
}

}  // namespace forge
