#include "platform/resources.h"

namespace {

// One entry of the table that resources/archive_tool_resources.S.in lays out.
struct EmbeddedResource {
  std::uint32_t type;
  std::uint32_t id;
  const unsigned char* begin;
  const unsigned char* end;
};

}  // namespace

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
  if (!first || !last) return kErrorResourceNameNotFound;
  for (const EmbeddedResource* entry = first; entry < last; ++entry) {
    if (entry->type != type || entry->id != id) continue;
    *data = entry->begin;
    *size = static_cast<std::uint32_t>(entry->end - entry->begin);
    return kErrorSuccess;
  }
  return kErrorResourceNameNotFound;
}

}  // namespace platform
