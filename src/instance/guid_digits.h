#pragma once
// Random hexadecimal identifiers cut from a new GUID, for the instance's MAC address and Android id.

#include <string>

namespace vellmora {

// The 32 upper-case hexadecimal digits of a new GUID, without hyphens; empty when none could be
// created.
std::string NewGuidDigits();

}  // namespace vellmora
