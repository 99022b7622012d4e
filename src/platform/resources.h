#pragma once
// Resources of the running executable's own module.

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

namespace platform {

// Resource types (RT_*).
inline constexpr std::uint32_t kResourceTypeRawData = 10;  // RT_RCDATA

// Resource ids of the executable's data resources that the wizard and the instance use.
inline constexpr int kResourceBootPicture = 205;  // JPEG
inline constexpr int kResourceArtPanel = 208;     // PNG, the wizard's left panel

// FindResourceW, LoadResource, LockResource and SizeofResource of a resource with a numeric id.
// The bytes stay valid for the life of the process. kErrorResourceNameNotFound when the module
// holds no such resource.
Win32Error LoadOwnResource(std::uint32_t type, std::uint32_t id, const void** data,
                           std::uint32_t* size);

// A raw-data resource that must hold bytes: an empty one counts as missing.
inline Win32Error LoadRcDataResource(int id, const unsigned char** data, std::size_t* size) {
  const void* bytes = nullptr;
  std::uint32_t length = 0;
  Win32Error error =
      LoadOwnResource(kResourceTypeRawData, static_cast<std::uint32_t>(id), &bytes, &length);
  if (error != kErrorSuccess) return error;
  if (bytes == nullptr || length == 0) return kErrorResourceNameNotFound;
  *data = static_cast<const unsigned char*>(bytes);
  *size = length;
  return kErrorSuccess;
}

}  // namespace platform
