#pragma once
// The process token.

#include "platform/types.h"

namespace platform {

// GetTokenInformation(TokenElevation) of the process token.
Win32Error GetTokenElevation(bool* elevated);

}  // namespace platform
