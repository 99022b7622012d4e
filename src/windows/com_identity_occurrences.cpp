#include "windows/com_identity_occurrences.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "windows/com_identity_catalog.h"
#include "windows/guid_text.h"

namespace vellmora {
namespace {

struct ComName {
  std::string_view original;
  std::string_view replacement;
};

// Tried in this order at each position, so that the longest ProgID of a family wins.
constexpr ComName kComNameTable[] = {
    {"VirtualBox.VirtualBoxClient.1", "VellmoraVM.VellmoraVMClient.1"},
    {"VirtualBox.VirtualBoxClient", "VellmoraVM.VellmoraVMClient"},
    {"VirtualBox.VirtualBox.1", "VellmoraVM.VellmoraVM.1"},
    {"VirtualBox.VirtualBox", "VellmoraVM.VellmoraVM"},
    {"VirtualBox.Session.1", "VellmoraVM.Session.1"},
    {"VirtualBox.Session", "VellmoraVM.Session"},
    {"KolvSVC.exe", "VLMServ.exe"},
    {"KolvSvc.exe", "VLMServ.exe"},
};

constexpr std::string_view kServerShortName = "KolvSVC";
constexpr std::string_view kPrivateServerShortName = "VLMServ";
constexpr std::uint8_t kClrUserStringLength = 0x0F;  // the blob length of a 7-character literal

bool Matches8(const std::uint8_t* at, std::size_t remaining, std::string_view text) {
  return remaining >= text.size() && std::memcmp(at, text.data(), text.size()) == 0;
}

bool Matches16(const std::uint8_t* at, std::size_t remaining, std::string_view text) {
  if (remaining < 2 * text.size()) return false;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (at[2 * k] != static_cast<std::uint8_t>(text[k]) || at[2 * k + 1] != 0) return false;
  }
  return true;
}

bool IsHexDigit(std::uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Cheap filters that let the scan pass over most bytes: which two-byte prefixes begin a binary
// original, and what a first byte can begin (a GUID text's digit, a name's letter).
enum : std::uint8_t { kStartsGuidText = 1, kStartsName = 2 };

struct ScanFilter {
  std::array<std::uint64_t, 1024> binary_prefix{};
  std::array<std::uint8_t, 256> starts{};

  explicit ScanFilter(const ComIdentityCatalog& catalog) {
    for (const ComIdentityPair& pair : catalog.pairs()) {
      const unsigned prefix = pair.original[0] | pair.original[1] << 8;
      binary_prefix[prefix >> 6] |= std::uint64_t{1} << (prefix & 63);
    }
    for (unsigned c = 0; c < 256; ++c) {
      if (IsHexDigit(static_cast<std::uint8_t>(c))) starts[c] |= kStartsGuidText;
    }
    for (const ComName& name : kComNameTable) {
      starts[static_cast<std::uint8_t>(name.original[0])] |= kStartsName;
    }
    starts[static_cast<std::uint8_t>(kServerShortName[0])] |= kStartsName;
  }
  bool MayBeBinary(std::uint8_t first, std::uint8_t second) const {
    const unsigned prefix = first | second << 8;
    return (binary_prefix[prefix >> 6] >> (prefix & 63) & 1) != 0;
  }
};

class OccurrenceScanner {
 public:
  OccurrenceScanner(const ComIdentityCatalog& catalog, std::string_view bytes, std::size_t start,
                    std::size_t end, std::vector<ComIdentityOccurrence>* out)
      : catalog_(catalog),
        data_(reinterpret_cast<const std::uint8_t*>(bytes.data())),
        start_(start),
        end_(end),
        out_(out) {}

  void Scan() {
    static const ScanFilter filter(catalog_);
    for (std::size_t i = start_; i < end_; ++i) {
      const std::size_t remaining = end_ - i;
      const std::uint8_t first = data_[i];
      if (remaining >= 16 && filter.MayBeBinary(first, data_[i + 1])) FindBinary(i);
      const std::uint8_t starts = filter.starts[first];
      if (starts == 0) continue;
      if ((starts & kStartsGuidText) != 0) {
        if (remaining >= 36) FindText(i, 1, ComOccurrenceKind::kGuidText);
        if (remaining >= 72 && data_[i + 1] == 0) {
          FindText(i, 2, ComOccurrenceKind::kUtf16GuidText);
        }
      }
      if ((starts & kStartsName) != 0) {
        FindNames(i, remaining);
        FindShortName(i, remaining);
      }
    }
  }

 private:
  void Add(std::size_t offset, std::size_t length, ComOccurrenceKind kind,
           std::string replacement, bool upper_case = false) {
    out_->push_back({offset, length, kind, std::move(replacement), upper_case});
  }

  void FindBinary(std::size_t i) {
    for (const std::uint16_t position : catalog_.StartingWith(data_[i])) {
      const ComIdentityPair& pair = catalog_.pairs()[position];
      if (std::memcmp(data_ + i, pair.original.data(), 16) == 0) {
        Add(i, 16, ComOccurrenceKind::kBinaryGuid,
            std::string(pair.replacement.begin(), pair.replacement.end()));
        return;
      }
    }
  }

  void FindText(std::size_t i, std::size_t stride, ComOccurrenceKind kind) {
    if (data_[i + 8 * stride] != '-' || data_[i + 13 * stride] != '-') return;
    BinaryGuid guid;
    if (!ParseGuidText(data_ + i, stride, &guid)) return;
    const BinaryGuid* replacement = catalog_.PrivateOf(guid);
    if (replacement == nullptr) return;
    Add(i, kGuidTextLength * stride, kind, std::string(replacement->begin(), replacement->end()),
        GuidTextIsUpperCase(data_ + i, stride));
  }

  void FindNames(std::size_t i, std::size_t remaining) {
    for (const ComName& name : kComNameTable) {
      if (Matches8(data_ + i, remaining, name.original)) {
        Add(i, name.original.size(), ComOccurrenceKind::kName, std::string(name.replacement));
        break;
      }
    }
    for (const ComName& name : kComNameTable) {
      if (Matches16(data_ + i, remaining, name.original)) {
        Add(i, 2 * name.original.size(), ComOccurrenceKind::kUtf16Name,
            std::string(name.replacement));
        break;
      }
    }
  }

  // The short name only where it stands alone: zero-delimited, or as a CLR user-string literal.
  // "KolvSVCHost" and the CLR member name "KolvSvc" stay as they are.
  void FindShortName(std::size_t i, std::size_t remaining) {
    const std::size_t n = kServerShortName.size();
    if (i > start_ && i + n < end_ && data_[i - 1] == 0 && data_[i + n] == 0 &&
        Matches8(data_ + i, remaining, kServerShortName)) {
      Add(i, n, ComOccurrenceKind::kName, std::string(kPrivateServerShortName));
    }
    if (remaining < 2 * n || !Matches16(data_ + i, remaining, kServerShortName)) return;
    const bool zero_delimited = i >= start_ + 2 && i + 2 * n + 1 < end_ && data_[i - 2] == 0 &&
                                data_[i - 1] == 0 && data_[i + 2 * n] == 0 &&
                                data_[i + 2 * n + 1] == 0;
    const bool user_string = i > start_ && i + 2 * n < end_ &&
                             data_[i - 1] == kClrUserStringLength && data_[i + 2 * n] == 0;
    if (zero_delimited || user_string) {
      Add(i, 2 * n, ComOccurrenceKind::kUtf16Name, std::string(kPrivateServerShortName));
    }
  }

  const ComIdentityCatalog& catalog_;
  const std::uint8_t* data_;
  const std::size_t start_;
  const std::size_t end_;
  std::vector<ComIdentityOccurrence>* out_;
};

}  // namespace

bool FindComIdentityOccurrences(std::string_view bytes, std::size_t start, std::size_t end,
                                std::vector<ComIdentityOccurrence>* occurrences,
                                std::string* error) {
  occurrences->clear();
  const ComIdentityCatalog& catalog = ComIdentityCatalog::Instance();
  if (!catalog.error().empty()) {
    *error = catalog.error();
    return false;
  }
  if (start > end || end > bytes.size()) {
    *error = "Invalid PE section range for COM identity patching.";
    return false;
  }
  OccurrenceScanner(catalog, bytes, start, end, occurrences).Scan();
  std::stable_sort(occurrences->begin(), occurrences->end(),
                   [](const ComIdentityOccurrence& a, const ComIdentityOccurrence& b) {
                     return a.offset < b.offset;
                   });
  for (std::size_t k = 1; k < occurrences->size(); ++k) {
    const ComIdentityOccurrence& previous = (*occurrences)[k - 1];
    if ((*occurrences)[k].offset < previous.offset + previous.length) {
      *error = "Overlapping COM GUID representations in a PE section; refusing an ambiguous patch.";
      return false;
    }
  }
  return true;
}

bool PatchComIdentityInRange(std::string* bytes, std::size_t start, std::size_t end,
                             ComReplacementCounters* counters, std::string* error) {
  std::vector<ComIdentityOccurrence> occurrences;
  if (!FindComIdentityOccurrences(*bytes, start, end, &occurrences, error)) return false;
  for (const ComIdentityOccurrence& occurrence : occurrences) {
    const bool wide = occurrence.kind == ComOccurrenceKind::kUtf16Name;
    if ((occurrence.kind == ComOccurrenceKind::kName || wide) &&
        occurrence.replacement.size() * (wide ? 2 : 1) != occurrence.length) {
      *error = "A private COM name does not preserve the original byte length.";
      return false;
    }
  }
  ComReplacementCounters found;
  for (const ComIdentityOccurrence& occurrence : occurrences) {
    char* at = bytes->data() + occurrence.offset;
    std::string text;
    switch (occurrence.kind) {
      case ComOccurrenceKind::kBinaryGuid:
        std::memcpy(at, occurrence.replacement.data(), 16);
        ++found.binary_guids;
        break;
      case ComOccurrenceKind::kGuidText:
      case ComOccurrenceKind::kUtf16GuidText: {
        BinaryGuid replacement;
        std::memcpy(replacement.data(), occurrence.replacement.data(), 16);
        text = FormatGuidText(replacement, occurrence.upper_case);
        const bool utf16 = occurrence.kind == ComOccurrenceKind::kUtf16GuidText;
        for (std::size_t k = 0; k < text.size(); ++k) at[utf16 ? 2 * k : k] = text[k];
        ++(utf16 ? found.utf16_guid_texts : found.guid_texts);
        break;
      }
      case ComOccurrenceKind::kName:
      case ComOccurrenceKind::kUtf16Name: {
        const bool utf16 = occurrence.kind == ComOccurrenceKind::kUtf16Name;
        for (std::size_t k = 0; k < occurrence.replacement.size(); ++k) {
          at[utf16 ? 2 * k : k] = occurrence.replacement[k];
        }
        ++found.names;
        break;
      }
    }
  }
  counters->binary_guids += found.binary_guids;
  counters->guid_texts += found.guid_texts;
  counters->utf16_guid_texts += found.utf16_guid_texts;
  counters->names += found.names;
  return true;
}

bool VerifyNoOriginalIdentity(std::string_view bytes, std::size_t start, std::size_t end,
                              std::string* error) {
  std::vector<ComIdentityOccurrence> occurrences;
  if (!FindComIdentityOccurrences(bytes, start, end, &occurrences, error)) return false;
  if (occurrences.empty()) return true;
  *error = "An original shared COM GUID remains in the patched PE section at offset " +
           std::to_string(occurrences.front().offset) + ".";
  return false;
}

}  // namespace vellmora
