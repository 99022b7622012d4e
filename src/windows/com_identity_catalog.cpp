#include "windows/com_identity_catalog.h"

#include <set>

#include "windows/com_interface_iids.h"

namespace vellmora {
namespace {

constexpr std::string_view kClassIdentities[] = {
    "AE316C2B-C93A-4B56-93F9-696F59A5E91F",  // VirtualBox server class, in the COM server
    "F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A",  // VirtualBoxClient class, in the client library
    "F2DB3C6E-125C-4103-97F9-E4BC42A449F4",  // Session class, in the client library
    "F3265CBC-288B-4670-9518-1A0B4A58192F",  // proxy/stub class
    "0582363E-7A11-46B1-9A3C-DF675EA24589",  // type library
    "780F9948-8F17-41BD-BB08-3DB2F47684B8",  // the server's application id
};

}  // namespace

std::vector<std::string_view> ComIdentityCatalog::StaticTexts() {
  std::vector<std::string_view> texts(std::begin(kClassIdentities), std::end(kClassIdentities));
  texts.insert(texts.end(), kComInterfaceIids.begin(), kComInterfaceIids.end());
  return texts;
}

const ComIdentityCatalog& ComIdentityCatalog::Instance() {
  static const ComIdentityCatalog catalog(StaticTexts());
  return catalog;
}

ComIdentityCatalog::ComIdentityCatalog(std::span<const std::string_view> texts) {
  for (const std::string_view text : texts) {
    BinaryGuid original;
    if (!ParseGuidEntry(text, &original) || private_of_.count(original) != 0) {
      error_ = "The static COM identity catalog contains an invalid or duplicate original GUID.";
      return;
    }
    const BinaryGuid replacement = PrivateGuidOf(original);
    private_of_.emplace(original, replacement);
    pairs_.push_back({original, replacement});
  }
  std::set<BinaryGuid> privates;
  for (const ComIdentityPair& pair : pairs_) {
    if (!privates.insert(pair.replacement).second) {
      error_ = "The private COM identity mapping is not one-to-one.";
      return;
    }
  }
  for (const ComIdentityPair& pair : pairs_) {
    if (private_of_.count(pair.replacement) != 0) {
      error_ = "A private COM GUID aliases an original GUID.";
      return;
    }
  }
  for (std::size_t i = 0; i < pairs_.size(); ++i) {
    first_byte_index_[pairs_[i].original[0]].push_back(static_cast<std::uint16_t>(i));
    private_position_.emplace(pairs_[i].replacement, static_cast<std::uint16_t>(i));
  }
}

const BinaryGuid* ComIdentityCatalog::PrivateOf(const BinaryGuid& original) const {
  const auto found = private_of_.find(original);
  return found == private_of_.end() ? nullptr : &found->second;
}

bool ComIdentityCatalog::IsPrivate(const BinaryGuid& guid) const {
  return error_.empty() && private_position_.count(guid) != 0;
}

bool PrivateGuidText(std::string_view original, std::string* private_text, std::string* error) {
  const ComIdentityCatalog& catalog = ComIdentityCatalog::Instance();
  if (!catalog.error().empty()) {
    *error = catalog.error();
    return false;
  }
  BinaryGuid guid;
  if (!ParseGuidEntry(original, &guid)) {
    *error = "The requested COM GUID is not valid.";
    return false;
  }
  const BinaryGuid* replacement = catalog.PrivateOf(guid);
  if (replacement == nullptr) {
    *error = "The requested COM GUID is not part of the static Vellmora catalog.";
    return false;
  }
  *private_text = FormatGuidText(*replacement, true);
  return true;
}

}  // namespace vellmora
