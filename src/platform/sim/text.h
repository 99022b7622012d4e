#pragma once
// Text helpers of the simulated machine: host names are UTF-8, the seam's names are wide, and
// Windows compares names without regard to letter case.

#include <string>
#include <vector>

namespace sim::internal {

// Bytes that are not UTF-8 map to U+DC80..U+DCFF and back, so that any host name round-trips.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// Windows compares names by their upper-case forms.
std::wstring Folded(const std::wstring& text);
bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b);

// * matches any run of characters (backslashes included), ? one character; letter case ignored.
bool GlobMatches(const std::wstring& pattern, const std::wstring& text);

std::string Trim(const std::string& text);
std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator);

}  // namespace sim::internal
