#pragma once
// Injected failures: every seam operation of a fault kind asks here before it acts.

#include <string>

#include "platform/types.h"

namespace sim::internal {

// The error an injected fault gives this operation, or kErrorSuccess. An operation on two paths
// (copy, move, replace) counts once when either path matches.
platform::Win32Error InjectedFault(const char* kind, const std::wstring& path,
                                   const std::wstring& other_path = std::wstring());

}  // namespace sim::internal
