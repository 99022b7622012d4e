#pragma once
// A staged Engine directory for the COM isolation tests: the sixteen COM binaries as forged PE32+
// images whose read-only data carries the shared identities in the forms the Engine ships them
// (binary GUIDs, 8-bit and UTF-16 texts, ProgIDs, the server's names, the edition tag and the
// engine version) and a proxy library with its 224 interfaces in the shipped order.

#include <map>
#include <string>

#include "platform/types.h"
#include "windows/guid_text.h"

namespace vellmora::testing {

// The identity bytes of each binary by file name; a test may change them before writing.
std::map<std::wstring, std::string> ComEngineContents();

// The proxy library as shipped: original IIDs sorted by their bytes; extra_data appended.
std::string ShippedProxyImage(const std::string& extra_data);

// Writes each content as a forged PE image named after its key (the proxy library from
// ShippedProxyImage unless its content starts with "MZ", which is written as it is).
void WriteComEngine(const platform::Path& dir, const std::map<std::wstring, std::string>& files);

std::string BinaryGuidBytes(const char* text);
std::string Utf16Text(const std::string& ascii);

}  // namespace vellmora::testing
