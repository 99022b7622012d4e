#include "platform/resources.h"

// The simulated executable carries the same data resources as VellmoraSetup.exe, compiled in.
extern const unsigned char vellmora_resource_art_panel[];
extern const std::size_t vellmora_resource_art_panel_size;
extern const unsigned char vellmora_resource_boot_picture[];
extern const std::size_t vellmora_resource_boot_picture_size;

namespace platform {

Win32Error LoadRcDataResource(int id, const unsigned char** data, std::size_t* size) {
  switch (id) {
    case kResourceArtPanel:
      *data = vellmora_resource_art_panel;
      *size = vellmora_resource_art_panel_size;
      return kErrorSuccess;
    case kResourceBootPicture:
      *data = vellmora_resource_boot_picture;
      *size = vellmora_resource_boot_picture_size;
      return kErrorSuccess;
    default:
      return kErrorResourceNameNotFound;
  }
}

}  // namespace platform
