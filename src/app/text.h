#pragma once
// Text conversions between the UTF-16 world of Windows and the UTF-8 of the log and the wizard.
// wchar_t holds UTF-16 code units on Windows and code points elsewhere; these helpers accept both.

#include <cstdint>
#include <string>
#include <vector>

namespace vellmora {

// UTF-16 (or wide) text to UTF-8. Unpaired surrogates become U+FFFD; never fails.
std::string ToUtf8(const std::wstring& text);
// UTF-8 to wide text; invalid sequences become U+FFFD.
std::wstring FromUtf8(const std::string& text);

// Each byte becomes one UTF-16 unit (drive letters and drive-root paths are ASCII).
std::wstring WidenBytes(const std::string& text);
// Each UTF-16 unit keeps its low byte.
std::string NarrowToLowBytes(const std::wstring& text);

// The text as UTF-16LE bytes, with a terminating zero unit when terminate is set.
std::vector<std::uint8_t> ToUtf16LeBytes(const std::wstring& text, bool terminate);
// UTF-16LE bytes (an odd trailing byte is ignored) up to the first zero unit.
std::wstring FromUtf16LeBytes(const std::uint8_t* bytes, std::size_t size);

// White space of the C library's wide-character class removed from both ends.
std::wstring TrimWhitespace(const std::wstring& text);
std::wstring TrimLeadingWhitespace(const std::wstring& text);

// Case-insensitive comparisons with ASCII folding only, as the command-line options need.
bool StartsWithIgnoringAsciiCase(const std::wstring& text, const std::wstring& prefix);
bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b);
// Case-insensitive comparison with the C library's wide lower-case mapping.
bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b);
bool EqualsIgnoringCase(const std::string& a, const std::string& b);
std::wstring ToLowerCase(const std::wstring& text);

// What snprintf left in a buffer of capacity bytes, given its result: 0 when it failed, else the
// length it wrote, cut to what the buffer holds.
std::size_t FormattedLength(int snprintf_result, std::size_t capacity);

// A 32-bit status as support staff look it up: "0x" and eight upper-case hexadecimal digits
// (an HRESULT such as 0x80040154).
std::string HexStatusCode(std::uint32_t code);

// A double quote, the text unchanged, a double quote. Nothing inside is escaped.
std::wstring QuoteArgument(const std::wstring& text);

}  // namespace vellmora
