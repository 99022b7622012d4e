#pragma once
// Every place in an Engine binary where an original COM identity stands: a catalog GUID in its
// binary layout, as 8-bit or UTF-16 text, a ProgID or the server's file name, or the server's
// short name where it stands alone. Found, rewritten to the private identity in place (every
// replacement has the original's byte length) and verified absent afterwards.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vellmora {

enum class ComOccurrenceKind { kBinaryGuid, kGuidText, kUtf16GuidText, kName, kUtf16Name };

struct ComIdentityOccurrence {
  std::size_t offset = 0;
  std::size_t length = 0;
  ComOccurrenceKind kind = ComOccurrenceKind::kBinaryGuid;
  // The 16 private bytes of a binary GUID, the private binary GUID of a text, or the name's
  // 8-bit replacement.
  std::string replacement;
  bool upper_case = false;  // GUID texts: the case the private text is written in
};

// What one file's rewrite changed, by kind.
struct ComReplacementCounters {
  std::size_t tag_and_version = 0;
  std::size_t binary_guids = 0;
  std::size_t guid_texts = 0;
  std::size_t utf16_guid_texts = 0;
  std::size_t names = 0;
  std::size_t Total() const {
    return tag_and_version + binary_guids + guid_texts + utf16_guid_texts + names;
  }
};

// The occurrences inside [start, end) sorted by offset; false with the reason in *error when the
// catalog is invalid, the range does not lie in the bytes, or two occurrences overlap.
bool FindComIdentityOccurrences(std::string_view bytes, std::size_t start, std::size_t end,
                                std::vector<ComIdentityOccurrence>* occurrences,
                                std::string* error);

// Rewrites every occurrence in [start, end) and adds them to *counters. Nothing is written when
// it fails.
bool PatchComIdentityInRange(std::string* bytes, std::size_t start, std::size_t end,
                             ComReplacementCounters* counters, std::string* error);

// False, naming the offset of the first one, when any occurrence is left in [start, end).
bool VerifyNoOriginalIdentity(std::string_view bytes, std::size_t start, std::size_t end,
                              std::string* error);

}  // namespace vellmora
