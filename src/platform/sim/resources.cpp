#include "platform/resources.h"

#include <cstddef>

namespace {

// One entry of the table that resources/archive_tool_resources.S.in lays out.
struct EmbeddedResource {
  std::uint32_t type;
  std::uint32_t id;
  const unsigned char* begin;
  const unsigned char* end;
};

}  // namespace

// The wizard's art, which every simulated executable carries (the platform library embeds it).
extern const unsigned char vellmora_resource_art_panel[];
extern const std::size_t vellmora_resource_art_panel_size;
extern const unsigned char vellmora_resource_boot_picture[];
extern const std::size_t vellmora_resource_boot_picture_size;

// The linker defines these bounds of the vellmora_resources section when an executable links
// the resource table; weak, so that an executable without resources simply has none.
extern "C" {
extern const EmbeddedResource __start_vellmora_resources[] __attribute__((weak));
extern const EmbeddedResource __stop_vellmora_resources[] __attribute__((weak));
}

namespace platform {

Win32Error LoadOwnResource(std::uint32_t type, std::uint32_t id, const void** data,
                           std::uint32_t* size) {
  *data = nullptr;
  *size = 0;
  const EmbeddedResource* first = __start_vellmora_resources;
  const EmbeddedResource* last = __stop_vellmora_resources;
  if (first && last) {
    for (const EmbeddedResource* entry = first; entry < last; ++entry) {
      if (entry->type != type || entry->id != id) continue;
      *data = entry->begin;
      *size = static_cast<std::uint32_t>(entry->end - entry->begin);
      return kErrorSuccess;
    }
  }
  if (type != kResourceTypeRawData) return kErrorResourceNameNotFound;
  switch (id) {
    case kResourceArtPanel:
      *data = vellmora_resource_art_panel;
      *size = static_cast<std::uint32_t>(vellmora_resource_art_panel_size);
      return kErrorSuccess;
    case kResourceBootPicture:
      *data = vellmora_resource_boot_picture;
      *size = static_cast<std::uint32_t>(vellmora_resource_boot_picture_size);
      return kErrorSuccess;
    default:
      return kErrorResourceNameNotFound;
  }
}

}  // namespace platform
