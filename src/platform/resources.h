#pragma once
// Data resources (RT_RCDATA) of the running executable.

#include <cstddef>

#include "platform/types.h"

namespace platform {

// Resource ids of the executable's data resources.
inline constexpr int kResourceBootPicture = 205;  // JPEG
inline constexpr int kResourceArtPanel = 208;     // PNG, the wizard's left panel

// FindResourceW(RT_RCDATA) + LoadResource + LockResource + SizeofResource: the bytes stay valid for
// the life of the process. kErrorResourceTypeNotFound or kErrorResourceNameNotFound when absent.
Win32Error LoadRcDataResource(int id, const unsigned char** data, std::size_t* size);

}  // namespace platform
