#pragma once
// Reads one resource out of a PE image's bytes, as the Windows loader finds it for FindResourceW:
// the resource directory's type, then name, then the first language. Images are untrusted input;
// every offset is checked against the bytes at hand.

#include <cstdint>
#include <vector>

#include "platform/types.h"

namespace sim::internal {

using platform::kErrorBadExeFormat;
using platform::kErrorResourceNameNotFound;
inline constexpr platform::Win32Error kErrorResourceTypeNotFound = 1813;

inline constexpr std::uint32_t kResourceTypeVersion = 16;  // RT_VERSION
inline constexpr std::uint32_t kVersionResourceId = 1;     // VS_VERSION_INFO

// The bytes of resource (type, id) of a PE32 or PE32+ image.
platform::Win32Error FindPeResource(const std::vector<std::uint8_t>& image, std::uint32_t type,
                                    std::uint32_t id, std::vector<std::uint8_t>* resource);

}  // namespace sim::internal
