#pragma once
// Self-registration of a COM stand-in: reads the registration block from the binary's own file
// (so that a patched binary registers what the patch made of it) and applies it to, or removes
// it from, HKEY_CLASSES_ROOT in the 64-bit view.

#include <windows.h>

#include <string>

namespace standins {

std::string ToUtf8(const std::wstring& text);
std::wstring ModulePath(HMODULE module);

// S_OK, or E_FAIL with the reason in *error.
HRESULT RegisterModule(HMODULE module, bool install, std::string* error);

}  // namespace standins
