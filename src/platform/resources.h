#pragma once
// Resources of the running executable's own module.

#include <cstdint>

#include "platform/types.h"

namespace platform {

// Resource types (RT_*).
inline constexpr std::uint32_t kResourceTypeRawData = 10;  // RT_RCDATA

// FindResourceW, LoadResource, LockResource and SizeofResource of a resource with a numeric id.
// The bytes stay valid for the life of the process. kErrorResourceNameNotFound when the module
// holds no such resource.
Win32Error LoadOwnResource(std::uint32_t type, std::uint32_t id, const void** data,
                           std::uint32_t* size);

}  // namespace platform
