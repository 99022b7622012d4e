#include "forge/small_files.h"

#include "forge/bytes.h"
#include "forge/crc32.h"

namespace forge {

std::string ProductIcon() {
  constexpr int kSide = 16;
  std::string image;
  PutLe(&image, 40, 4);         // BITMAPINFOHEADER
  PutLe(&image, kSide, 4);
  PutLe(&image, kSide * 2, 4);  // colour rows and mask rows
  PutLe(&image, 1, 2);
  PutLe(&image, 32, 2);
  PutLe(&image, 0, 4);          // BI_RGB
  PutLe(&image, kSide * kSide * 4, 4);
  PutLe(&image, 0, 4);
  PutLe(&image, 0, 4);
  PutLe(&image, 0, 4);
  PutLe(&image, 0, 4);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const bool ring = (x - 8) * (x - 8) + (y - 8) * (y - 8) < 49;
      image += ring ? std::string("\xC8\x6E\x2E\xFF", 4) : std::string("\0\0\0\0", 4);
    }
  image.append(kSide * 4, '\0');  // AND mask: 16 rows of 32 bits
  std::string icon;
  PutLe(&icon, 0, 2);
  PutLe(&icon, 1, 2);  // icon
  PutLe(&icon, 1, 2);  // one image
  icon.push_back(static_cast<char>(kSide));
  icon.push_back(static_cast<char>(kSide));
  icon.push_back('\0');  // no palette
  icon.push_back('\0');
  PutLe(&icon, 1, 2);   // planes
  PutLe(&icon, 32, 2);  // bits per pixel
  PutLe(&icon, image.size(), 4);
  PutLe(&icon, 22, 4);  // offset of the image
  return icon + image;
}

std::string QmlCacheFile(const std::string& name) {
  std::string unit = "qv4cdata";
  PutLe(&unit, 0x3C, 4);  // format version
  PutLe(&unit, Crc32Of(name.data(), name.size()), 4);
  unit += "Vellmora player theme: " + name;
  unit.resize(256, '\0');
  return unit;
}

std::string HostConfigTemplate() {
  return "# Vellmora host configuration\r\n"
         "klv.install_dir=C:\\Program Files\\Pellucador_kta5\r\n"
         "klv.data_dir=C:\\ProgramData\\Pellucador_kta5\r\n"
         "klv.user_dir=__OSTREVIN_USERPROFILE__\\AppData\\Local\\DO-Rarari_kta5\r\n"
         "klv.namespace=_vlm5\r\n"
         "klv.instances_file=C:\\ProgramData\\Pellucador_kta5\\Engine\\UserData\\QorMetaData.json\r\n";
}

std::string MachineRegistryTemplate() {
  return "<?xml version=\"1.0\"?>\r\n"
         "<KolvGlobal version=\"1.12-windows\">\r\n"
         "  <Global>\r\n"
         "    <MachineRegistry>\r\n"
         "      <MachineEntry uuid=\"{6F1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}\" "
         "src=\"C:\\ProgramData\\Pellucador_kta5\\Engine\\Pie64\\Pie64.kolv\"/>\r\n"
         "    </MachineRegistry>\r\n"
         "    <SystemProperties defaultMachineFolder=\"C:\\ProgramData\\Pellucador_kta5\\Engine\"/>\r\n"
         "  </Global>\r\n"
         "</KolvGlobal>\r\n";
}

std::string InstanceMetadataTemplate() {
  return "{\r\n"
         "    \"Organization\" : [\r\n"
         "]\r\n"
         "}\r\n";
}

std::string VmDefinition(const std::string& name, const DiskUuid& root, const DiskUuid& boot) {
  const std::string root_uuid = RegistryFormUuid(root);
  const std::string boot_uuid = RegistryFormUuid(boot);
  return "<?xml version=\"1.0\"?>\r\n"
         "<KolvMachine version=\"1.16-windows\">\r\n"
         "  <Machine uuid=\"__VLM_MACHINE_UUID__\" name=\"" + name +
         "\" OSType=\"Android_64\">\r\n"
         "    <MediaRegistry>\r\n"
         "      <HardDisks>\r\n"
         "        <HardDisk uuid=\"" + root_uuid +
         "\" location=\"Root.vhd\" format=\"VHD\" type=\"Normal\"/>\r\n"
         "        <HardDisk uuid=\"" + boot_uuid +
         "\" location=\"fastboot.vdi\" format=\"VDI\" type=\"Readonly\"/>\r\n"
         "      </HardDisks>\r\n"
         "    </MediaRegistry>\r\n"
         "    <ExtraData>\r\n"
         "      <ExtraDataItem name=\"KolvInternal/VdesServiceDll\" "
         "value=\"@@RV_VDES_SERVICE_DLL_PATH@@\"/>\r\n"
         "      <ExtraDataItem name=\"KolvInternal/PlayerPath\" "
         "value=\"C:\\Program Files\\Pellucador_kta5\\Vellmora.exe\"/>\r\n"
         "      <ExtraDataItem name=\"KolvInternal/LegacyPlayerPath\" "
         "value=\"C:\\Program Files\\Pellucador_vod\\Vellmora.exe\"/>\r\n"
         "      <ExtraDataItem name=\"KolvInternal/SharedFolder\" "
         "value=\"C:\\Program Files\\Vellmora\\Shared\"/>\r\n"
         "    </ExtraData>\r\n"
         "    <Hardware>\r\n"
         "      <CPU count=\"__VLM_CPU_CORES__\"/>\r\n"
         "      <Memory RAMSize=\"@@KLV_VM_MEMORY_SIZE@@\"/>\r\n"
         "      <Network><Adapter slot=\"0\" enabled=\"true\" "
         "MACAddress=\"__VLM_MAC_ADDRESS__\"/></Network>\r\n"
         "    </Hardware>\r\n"
         "    <StorageControllers>\r\n"
         "      <StorageController name=\"SATA\" type=\"AHCI\" PortCount=\"2\">\r\n"
         "        <AttachedDevice type=\"HardDisk\" port=\"0\" device=\"0\"><Image uuid=\"" +
         root_uuid + "\"/></AttachedDevice>\r\n"
         "        <AttachedDevice type=\"HardDisk\" port=\"1\" device=\"0\"><Image uuid=\"" +
         boot_uuid + "\"/></AttachedDevice>\r\n"
         "      </StorageController>\r\n"
         "    </StorageControllers>\r\n"
         "  </Machine>\r\n"
         "</KolvMachine>\r\n";
}

}  // namespace forge
