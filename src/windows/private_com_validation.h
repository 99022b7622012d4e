#pragma once
// The proof that an Engine directory carries the product's private COM identity and nothing of the
// shared one: the renamed server, the server paths in the runtime and common libraries, and the
// private class and interface GUIDs in the four COM binaries with no original left in any section.
// Runs after isolation and again around COM registration.

#include <string>
#include <string_view>

#include "platform/types.h"

namespace vellmora {

// True when every check holds; otherwise false with the first failure's text in *error.
bool ValidatePrivateComIdentity(const platform::Path& engine_dir, std::string* error);

// The binary at path is a PE image holding the private GUID of `original` (a catalog text) in
// some section and no original identity in any.
bool ValidatePrivateGuidInBinary(const platform::Path& path, std::string_view original,
                                 std::string* error);

// The text occurs as 8-bit or as UTF-16LE text (high bytes 0), ASCII letters compared without
// regard to case.
bool BytesContainIgnoreCase(std::string_view bytes, std::string_view text);

// The text occurs with exact case as a whole token: the character before and the character after,
// where there is one, is no ASCII letter, digit, "." or "_". utf16 selects UTF-16LE characters.
bool BytesContainToken(std::string_view bytes, std::string_view text, bool utf16);

}  // namespace vellmora
