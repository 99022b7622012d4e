#pragma once
// HRESULTs of COM and Shell calls in the seam's Win32Error terms.

#include <windows.h>

#include "platform/types.h"

namespace platform::win32 {

// Failures of the Win32 facility carry a plain error code; any other failure stays the HRESULT.
inline Win32Error ErrorFromHresult(HRESULT result) {
  if (SUCCEEDED(result)) return kErrorSuccess;
  if (HRESULT_FACILITY(result) == FACILITY_WIN32) return static_cast<Win32Error>(HRESULT_CODE(result));
  return static_cast<Win32Error>(result);
}

}  // namespace platform::win32
