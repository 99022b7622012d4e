#include "package/package_layouts.h"

namespace vellmora {

const PackageLayout& EnginePackageLayout() {
  static const PackageLayout layout{
      "engine",
      {
          "package-manifest.json",
          "payload/ProgramFiles/Vellmora",
          "payload/ProgramData/Vellmora",
          "payload/LocalAppData/DO-Rarari_vlm5",
      },
      {
          "package-manifest.json",
          "payload/ProgramFiles/Vellmora/Vellmora.exe",
          "payload/ProgramFiles/Vellmora/ProductLogo.ico",
          "payload/ProgramFiles/Vellmora/KolvRT.dll",
          "payload/ProgramFiles/Vellmora/KolvVMM.dll",
          "payload/ProgramData/Vellmora/pellucador.conf.template",
          "payload/ProgramData/Vellmora/Engine/Manager/KolvGlobal.xml.template",
          "payload/ProgramData/Vellmora/Engine/UserData/QorMetaData.template.json",
          "payload/LocalAppData/DO-Rarari_vlm5/cache/qmlcache",
      },
  };
  return layout;
}

const PackageLayout& InstancePackageLayout() {
  static const PackageLayout layout{
      "instance",
      {
          "package-manifest.json",
          "payload/Instances/Pie64",
      },
      {
          "package-manifest.json",
          "payload/Instances/Pie64/Data.vhdx",
          "payload/Instances/Pie64/Root.vhd",
          "payload/Instances/Pie64/fastboot.vdi",
          "payload/Instances/Pie64/Android.kolv.in",
          "payload/Instances/Pie64/Pie64.kolv.template",
      },
  };
  return layout;
}

}  // namespace vellmora
