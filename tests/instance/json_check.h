#pragma once
// A strict JSON validity check for the tests of files the installer edits as text.

#include <string>

namespace vellmora::testing {

// True when text is one JSON value (RFC 8259) with nothing but white space around it.
bool IsValidJson(const std::string& text);

}  // namespace vellmora::testing
