#pragma once
// The COM identities the Engine ships with and the private ones the product gives them: the
// server, client, session and proxy/stub classes, the type library, the server's application id
// and the 224 interface IIDs of the proxy, each paired with its private GUID. Built once, on first
// use, and immutable afterwards.

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "windows/guid_text.h"

namespace vellmora {

struct ComIdentityPair {
  BinaryGuid original;
  BinaryGuid replacement;
};

class ComIdentityCatalog {
 public:
  // The process-wide catalog of the 230 static texts (thread-safe one-time construction).
  static const ComIdentityCatalog& Instance();
  // The static texts in catalog order: the six class, library and application identities, then
  // the interface IIDs.
  static std::vector<std::string_view> StaticTexts();

  // A catalog of the given texts; error() says what is wrong with them, first failure first.
  explicit ComIdentityCatalog(std::span<const std::string_view> texts);

  const std::vector<ComIdentityPair>& pairs() const { return pairs_; }
  // Positions in pairs() of the originals whose first binary byte is `byte`.
  const std::vector<std::uint16_t>& StartingWith(std::uint8_t byte) const {
    return first_byte_index_[byte];
  }
  // The private GUID of an original; null when the GUID is no original of the catalog.
  const BinaryGuid* PrivateOf(const BinaryGuid& original) const;
  bool IsPrivate(const BinaryGuid& guid) const;
  // Empty when the catalog is valid.
  const std::string& error() const { return error_; }

 private:
  std::vector<ComIdentityPair> pairs_;
  std::map<BinaryGuid, BinaryGuid> private_of_;
  std::map<BinaryGuid, std::uint16_t> private_position_;
  std::array<std::vector<std::uint16_t>, 256> first_byte_index_;
  std::string error_;
};

// The private GUID of an original text (36 characters, or 38 with braces) as 36 upper-case
// characters; false with the reason in *error for a malformed or an unknown text.
bool PrivateGuidText(std::string_view original, std::string* private_text, std::string* error);

}  // namespace vellmora
