#include "windows/proxy_interface_tables.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>
#include <vector>

#include "windows/com_identity_catalog.h"
#include "windows/guid_text.h"
#include "windows/pe64_view.h"

namespace vellmora {
namespace {

constexpr std::uint64_t kTableSize = 80;
constexpr std::uint64_t kTableAlignment = 8;
constexpr std::uint64_t kPointer = 8;
// Each array holds one pointer per interface and a null one after the last.
constexpr std::uint64_t kArrayBytes = (kProxyInterfaceCount + 1) * kPointer;

// The four parallel arrays of the table, in their order at the table's start.
enum Array { kProxyVtables, kStubVtables, kNames, kDelegatedIids, kArrayCount };

struct ProxyInterfaceRecord {
  BinaryGuid iid;
  std::uint64_t pointers[kArrayCount];
};

const char* ParseError(Pe64Check check) {
  switch (check) {
    case Pe64Check::kValid: return "";
    case Pe64Check::kNotPe: return "The COM proxy is not a PE image.";
    case Pe64Check::kInvalidHeader: return "The COM proxy has an invalid PE header.";
    case Pe64Check::kNotPe32PlusX64: return "The COM proxy is not a supported PE32+ x64 image.";
    case Pe64Check::kSectionTableOutside: return "The COM proxy section table extends beyond the file.";
    case Pe64Check::kNoImageBase: return "The COM proxy has no preferred image base.";
    case Pe64Check::kSectionOutsideFile: return "The COM proxy contains a section outside the file.";
  }
  return "The COM proxy is not a PE image.";
}

bool IsProxyFileInfo(std::string_view bytes, std::uint64_t at) {
  if (ReadLe(bytes, at + 40, 2) != kProxyInterfaceCount || ReadLe(bytes, at + 42, 2) != 2) {
    return false;
  }
  for (std::uint64_t k = 44; k < kTableSize; ++k) {
    if (bytes[static_cast<std::size_t>(at + k)] != 0) return false;
  }
  return true;
}

std::vector<std::uint64_t> FindProxyFileInfoTables(std::string_view bytes, const Pe64View& view) {
  std::vector<std::uint64_t> tables;
  for (const PeSection& section : view.sections()) {
    if ((section.characteristics & kSectionMemRead) == 0 || section.raw_size < kTableSize) continue;
    for (std::uint64_t at = section.raw_pointer;
         at + kTableSize <= std::uint64_t{section.raw_pointer} + section.raw_size;
         at += kTableAlignment) {
      if (IsProxyFileInfo(bytes, at)) tables.push_back(at);
    }
  }
  return tables;
}

BinaryGuid GuidAt(std::string_view bytes, std::uint64_t at) {
  BinaryGuid guid;
  std::memcpy(guid.data(), bytes.data() + at, 16);
  return guid;
}

// The zero-terminated name at the offset equals text.
bool NameIs(std::string_view bytes, std::uint64_t at, std::string_view text) {
  return at + text.size() + 1 <= bytes.size() && bytes.substr(at, text.size()) == text &&
         bytes[static_cast<std::size_t>(at + text.size())] == '\0';
}

class ProxyTableValidator {
 public:
  ProxyTableValidator(std::string_view bytes, const Pe64View& view, std::uint64_t table)
      : bytes_(bytes), view_(view), table_(table) {}

  bool Validate(std::vector<ProxyInterfaceRecord>* records, std::uint64_t* arrays,
                std::string* error);

 private:
  bool Map(std::uint64_t address, std::uint64_t length, std::uint64_t* offset) const {
    return view_.MapAddress(address, length, false, offset);
  }
  std::uint64_t Pointer(std::uint64_t offset) const { return ReadLe(bytes_, offset, 8); }

  std::string_view bytes_;
  const Pe64View& view_;
  const std::uint64_t table_;
};

bool ProxyTableValidator::Validate(std::vector<ProxyInterfaceRecord>* records,
                                   std::uint64_t* arrays, std::string* error) {
  const ComIdentityCatalog& catalog = ComIdentityCatalog::Instance();
  std::uint64_t lookup = 0;
  if (!view_.MapAddress(Pointer(table_ + 32), 1, true, &lookup)) {
    *error = "The COM proxy IID lookup function is not executable.";
    return false;
  }
  for (int a = 0; a < kArrayCount; ++a) {
    if (!Map(Pointer(table_ + kPointer * a), kArrayBytes, &arrays[a]) ||
        Pointer(arrays[a] + kPointer * kProxyInterfaceCount) != 0) {
      *error = "A COM proxy interface table is missing or lacks its terminator.";
      return false;
    }
  }
  struct Required {
    std::string_view name;
    const char* original;
    bool seen = false;
  };
  Required required[] = {{"IVirtualBoxClient", "470A6E9B-2049-4DC1-B901-D967E4CADF8A"},
                         {"IVirtualBox", "EA319BDC-02C2-46E7-83D1-F6C33C03202B"},
                         {"ISession", "889BA8C2-0C06-4E42-86C9-816CEEF5C4B3"}};
  std::set<BinaryGuid> seen_iids;
  const char* kNotParallel =
      "The COM proxy interface tables are not parallel or contain invalid pointers.";
  for (std::uint64_t row = 0; row < kProxyInterfaceCount; ++row) {
    ProxyInterfaceRecord record;
    for (int a = 0; a < kArrayCount; ++a) record.pointers[a] = Pointer(arrays[a] + kPointer * row);
    std::uint64_t proxy = 0, stub = 0, name = 0, delegated = 0;
    if (!Map(record.pointers[kProxyVtables], 16, &proxy) ||
        !Map(record.pointers[kStubVtables], 8, &stub) || !Map(record.pointers[kNames], 1, &name) ||
        (record.pointers[kDelegatedIids] != 0 &&
         !Map(record.pointers[kDelegatedIids], 16, &delegated)) ||
        bytes_[static_cast<std::size_t>(name)] == '\0' || Pointer(proxy + 8) != Pointer(stub)) {
      *error = kNotParallel;
      return false;
    }
    std::uint64_t iid_at = 0;
    if (!Map(Pointer(stub), 16, &iid_at)) {
      *error = "A COM proxy interface IID points outside the image.";
      return false;
    }
    record.iid = GuidAt(bytes_, iid_at);
    if (!catalog.IsPrivate(record.iid) || !seen_iids.insert(record.iid).second) {
      *error = "A COM proxy interface IID is unpatched or duplicated.";
      return false;
    }
    for (Required& wanted : required) {
      if (wanted.seen || !NameIs(bytes_, name, wanted.name)) continue;
      BinaryGuid original;
      ParseGuidEntry(wanted.original, &original);
      if (record.iid != PrivateGuidOf(original)) {
        *error = "A required Vellmora COM interface name has a mismatched private IID.";
        return false;
      }
      wanted.seen = true;
    }
    records->push_back(record);
  }
  if (records->size() != kProxyInterfaceCount) {
    *error = "The COM proxy interface count does not match the supported catalog.";
    return false;
  }
  for (const Required& wanted : required) {
    if (!wanted.seen) {
      *error = "The COM proxy is missing IVirtualBoxClient, IVirtualBox or ISession.";
      return false;
    }
  }
  bool private_order = true;
  bool original_order = true;
  for (std::size_t k = 1; k < records->size(); ++k) {
    const BinaryGuid& before = (*records)[k - 1].iid;
    const BinaryGuid& after = (*records)[k].iid;
    private_order = private_order && before < after;
    original_order = original_order && PrivateGuidOf(before) < PrivateGuidOf(after);
  }
  if (!private_order && !original_order) {
    *error = "The COM proxy interface order is neither the supported original nor the repaired "
             "private order.";
    return false;
  }
  return true;
}

}  // namespace

bool RepairProxyInterfaceTables(std::string* proxy, std::size_t* interface_count,
                                std::string* error) {
  Pe64View view;
  const Pe64Check check = ParsePe64Image(*proxy, &view);
  if (check != Pe64Check::kValid) {
    *error = ParseError(check);
    return false;
  }
  const ComIdentityCatalog& catalog = ComIdentityCatalog::Instance();
  if (!catalog.error().empty()) {
    *error = catalog.error();
    return false;
  }
  const std::vector<std::uint64_t> tables = FindProxyFileInfoTables(*proxy, view);
  if (tables.size() != 1) {
    *error = "Expected exactly one supported 224-interface MIDL ProxyFileInfo table; found " +
             std::to_string(tables.size()) + ".";
    return false;
  }
  std::vector<ProxyInterfaceRecord> records;
  std::uint64_t arrays[kArrayCount] = {};
  if (!ProxyTableValidator(*proxy, view, tables.front()).Validate(&records, arrays, error)) {
    return false;
  }
  std::sort(records.begin(), records.end(),
            [](const ProxyInterfaceRecord& a, const ProxyInterfaceRecord& b) { return a.iid < b.iid; });
  std::vector<BinaryGuid> sorted;
  for (const ProxyInterfaceRecord& record : records) sorted.push_back(record.iid);
  for (const BinaryGuid& iid : sorted) {
    if (!std::binary_search(sorted.begin(), sorted.end(), iid)) {
      *error = "A private COM interface is not discoverable by the MIDL binary lookup.";
      return false;
    }
  }
  for (std::size_t row = 0; row < records.size(); ++row) {
    for (int a = 0; a < kArrayCount; ++a) {
      for (int b = 0; b < 8; ++b) {
        (*proxy)[static_cast<std::size_t>(arrays[a] + kPointer * row + b)] =
            static_cast<char>(records[row].pointers[a] >> (8 * b));
      }
    }
  }
  *interface_count = records.size();
  return true;
}

}  // namespace vellmora
