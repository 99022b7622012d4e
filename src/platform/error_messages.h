#pragma once
// The system's own words for a Win32 error code.

#include <string>

#include "platform/types.h"

namespace platform {

// FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM) of the code, without the trailing line break; a
// text naming the code when the system has none.
std::wstring FormatMessageW(Win32Error code);

}  // namespace platform
