#include "windows/proxy_interface_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "forge/bytes.h"
#include "forge/proxy_image.h"
#include "windows/com_identity_catalog.h"
#include "windows/pe64_view.h"

namespace vellmora::testing {
namespace {

struct Row {
  BinaryGuid iid;
  std::string name;
};

std::string Bytes(const BinaryGuid& guid) { return std::string(guid.begin(), guid.end()); }

// The proxy's 224 interfaces with private IIDs (as the patch leaves them), named after their
// catalog position except the three the installer needs by name.
std::vector<Row> PatchedRows() {
  const std::map<std::size_t, std::string> named = {
      {59, "IVirtualBoxClient"}, {113, "ISession"}, {214, "IVirtualBox"}};
  std::vector<Row> rows;
  const auto& pairs = ComIdentityCatalog::Instance().pairs();
  for (std::size_t i = 6; i < pairs.size(); ++i) {
    const auto name = named.find(i);
    rows.push_back({pairs[i].replacement,
                    name != named.end() ? name->second : "IInterface" + std::to_string(i)});
  }
  return rows;
}

// As MIDL ships them: sorted by the original IIDs' bytes.
void SortByOriginal(std::vector<Row>* rows) {
  std::sort(rows->begin(), rows->end(), [](const Row& a, const Row& b) {
    return PrivateGuidOf(a.iid) < PrivateGuidOf(b.iid);
  });
}

void SortByPrivate(std::vector<Row>* rows) {
  std::sort(rows->begin(), rows->end(), [](const Row& a, const Row& b) { return a.iid < b.iid; });
}

forge::ProxyImageOptions OptionsOf(const std::vector<Row>& rows) {
  forge::ProxyImageOptions options;
  for (const Row& row : rows) {
    options.iids.push_back(Bytes(row.iid));
    options.names.push_back(row.name);
  }
  return options;
}

// The rows as the image's tables give them: each IID through its stub vtable, each name through
// the names array, read with the product's own view but independently of the repair.
std::vector<Row> RowsOf(const std::string& image) {
  Pe64View view;
  EXPECT_EQ(ParsePe64Image(image, &view), Pe64Check::kValid);
  const std::size_t table = forge::ProxyTableOffset(image);
  auto follow = [&](std::uint64_t address, std::uint64_t length) {
    std::uint64_t offset = 0;
    EXPECT_TRUE(view.MapAddress(address, length, false, &offset));
    return offset;
  };
  const std::uint64_t stubs = follow(ReadLe(image, table + 8, 8), 1800);
  const std::uint64_t names = follow(ReadLe(image, table + 16, 8), 1800);
  std::vector<Row> rows;
  for (std::size_t k = 0; k < kProxyInterfaceCount; ++k) {
    const std::uint64_t stub = follow(ReadLe(image, stubs + 8 * k, 8), 8);
    const std::uint64_t iid = follow(ReadLe(image, stub, 8), 16);
    Row row;
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(iid), 16, row.iid.begin());
    row.name = image.c_str() + follow(ReadLe(image, names + 8 * k, 8), 1);
    rows.push_back(row);
  }
  return rows;
}

struct Repair {
  bool ok = false;
  std::size_t count = 0;
  std::string error;
  std::string image;
};

Repair RunRepair(const std::string& image) {
  Repair result;
  result.image = image;
  result.ok = RepairProxyInterfaceTables(&result.image, &result.count, &result.error);
  return result;
}

bool SameRows(const std::vector<Row>& a, const std::vector<Row>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].iid != b[i].iid || a[i].name != b[i].name) return false;
  }
  return true;
}

TEST(ProxyInterfaceTablesTest, ShippedOrderIsReSortedByPrivateIidWithItsRows) {
  std::vector<Row> rows = PatchedRows();
  SortByOriginal(&rows);
  const std::string image = forge::MakeProxyImage(OptionsOf(rows));
  ASSERT_FALSE(image.empty());
  ASSERT_TRUE(SameRows(RowsOf(image), rows));

  const Repair repaired = RunRepair(image);
  ASSERT_TRUE(repaired.ok) << repaired.error;
  EXPECT_EQ(repaired.count, 224u);
  std::vector<Row> expected = rows;
  SortByPrivate(&expected);
  EXPECT_FALSE(SameRows(expected, rows));
  EXPECT_TRUE(SameRows(RowsOf(repaired.image), expected));
  EXPECT_EQ(repaired.image.size(), image.size());

  // Repaired tables are in the supported private order: a second repair changes nothing.
  const Repair again = RunRepair(repaired.image);
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(again.image, repaired.image);
}

TEST(ProxyInterfaceTablesTest, RefusesTablesItCannotTrust) {
  std::vector<Row> shipped = PatchedRows();
  SortByOriginal(&shipped);
  struct Case {
    const char* name;
    std::function<void(std::vector<Row>*, forge::ProxyImageOptions*)> change;
    std::string error;
  };
  const Case cases[] = {
      {"neither order",
       [](std::vector<Row>* rows, forge::ProxyImageOptions*) { std::swap((*rows)[10], (*rows)[11]); },
       "The COM proxy interface order is neither the supported original nor the repaired private "
       "order."},
      {"two tables", [](std::vector<Row>*, forge::ProxyImageOptions* o) { o->second_table = true; },
       "Expected exactly one supported 224-interface MIDL ProxyFileInfo table; found 2."},
      {"missing terminator",
       [](std::vector<Row>*, forge::ProxyImageOptions* o) { o->missing_terminator = true; },
       "A COM proxy interface table is missing or lacks its terminator."},
      {"IVirtualBox on another interface's IID",
       [](std::vector<Row>* rows, forge::ProxyImageOptions*) {
         for (Row& row : *rows) {
           if (row.name == "IVirtualBox") row.name = "IRenamed";
         }
         (*rows)[0].name = "IVirtualBox";
       },
       "A required Vellmora COM interface name has a mismatched private IID."},
      {"ISession missing",
       [](std::vector<Row>* rows, forge::ProxyImageOptions*) {
         for (Row& row : *rows) {
           if (row.name == "ISession") row.name = "ISessionless";
         }
       },
       "The COM proxy is missing IVirtualBoxClient, IVirtualBox or ISession."},
      {"an unpatched IID",
       [](std::vector<Row>* rows, forge::ProxyImageOptions*) {
         (*rows)[5].iid = PrivateGuidOf((*rows)[5].iid);
       },
       "A COM proxy interface IID is unpatched or duplicated."},
      {"a repeated IID",
       [](std::vector<Row>* rows, forge::ProxyImageOptions*) { (*rows)[6].iid = (*rows)[5].iid; },
       "A COM proxy interface IID is unpatched or duplicated."},
      {"an empty name",
       [](std::vector<Row>* rows, forge::ProxyImageOptions*) { (*rows)[3].name.clear(); },
       "The COM proxy interface tables are not parallel or contain invalid pointers."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Row> rows = shipped;
    forge::ProxyImageOptions options;
    c.change(&rows, &options);
    forge::ProxyImageOptions built = OptionsOf(rows);
    built.second_table = options.second_table;
    built.missing_terminator = options.missing_terminator;
    const std::string image = forge::MakeProxyImage(built);
    ASSERT_FALSE(image.empty());
    const Repair repaired = RunRepair(image);
    EXPECT_FALSE(repaired.ok);
    EXPECT_EQ(repaired.error, c.error);
    EXPECT_EQ(repaired.image, image);
  }
}

// Headers whose offsets point anywhere end in the reader's line, never outside the buffer.
TEST(ProxyInterfaceTablesTest, HostileHeadersEndInTheirLine) {
  std::vector<Row> rows = PatchedRows();
  SortByOriginal(&rows);
  const std::string good = forge::MakeProxyImage(OptionsOf(rows));
  const std::size_t pe = static_cast<std::size_t>(ReadLe(good, 60, 4));
  const std::size_t optional = pe + 24;
  const std::size_t sections = optional + static_cast<std::size_t>(ReadLe(good, pe + 20, 2));
  const std::size_t table = forge::ProxyTableOffset(good);
  struct Case {
    const char* name;
    std::function<void(std::string*)> change;
    const char* error;
  };
  const Case cases[] = {
      {"empty", [](std::string* s) { s->clear(); }, "The COM proxy is not a PE image."},
      {"63 bytes", [](std::string* s) { s->resize(63); }, "The COM proxy is not a PE image."},
      {"no MZ", [](std::string* s) { (*s)[0] = 'X'; }, "The COM proxy is not a PE image."},
      {"signature offset 0xFFFFFFFF", [](std::string* s) { forge::SetLe(s, 60, 0xFFFFFFFFu, 4); },
       "The COM proxy has an invalid PE header."},
      {"signature offset at the end",
       [](std::string* s) { forge::SetLe(s, 60, s->size() - 23, 4); },
       "The COM proxy has an invalid PE header."},
      {"no PE signature", [pe](std::string* s) { (*s)[pe + 1] = 'X'; },
       "The COM proxy has an invalid PE header."},
      {"x86 machine", [pe](std::string* s) { forge::SetLe(s, pe + 4, 0x14C, 2); },
       "The COM proxy is not a supported PE32+ x64 image."},
      {"PE32 magic", [optional](std::string* s) { forge::SetLe(s, optional, 0x10B, 2); },
       "The COM proxy is not a supported PE32+ x64 image."},
      {"small optional header", [pe](std::string* s) { forge::SetLe(s, pe + 20, 111, 2); },
       "The COM proxy is not a supported PE32+ x64 image."},
      {"optional header past the end", [pe](std::string* s) { forge::SetLe(s, pe + 20, 0xFFFF, 2); },
       "The COM proxy is not a supported PE32+ x64 image."},
      {"no sections", [pe](std::string* s) { forge::SetLe(s, pe + 6, 0, 2); },
       "The COM proxy is not a supported PE32+ x64 image."},
      {"97 sections", [pe](std::string* s) { forge::SetLe(s, pe + 6, 97, 2); },
       "The COM proxy is not a supported PE32+ x64 image."},
      {"section table past the end",
       [pe](std::string* s) {
         forge::SetLe(s, pe + 6, 96, 2);
         s->resize(pe + 24 + 240 + 40 * 50);
       },
       "The COM proxy section table extends beyond the file."},
      {"no image base", [optional](std::string* s) { forge::SetLe(s, optional + 24, 0, 8); },
       "The COM proxy has no preferred image base."},
      {"raw data past the end",
       [sections](std::string* s) { forge::SetLe(s, sections + 40 + 20, 0xFFFFFF00u, 4); },
       "The COM proxy contains a section outside the file."},
      {"raw size past the end",
       [sections](std::string* s) { forge::SetLe(s, sections + 40 + 16, 0xFFFFFFFFu, 4); },
       "The COM proxy contains a section outside the file."},
      {"lookup routine in data", [table](std::string* s) {
         forge::SetLe(s, table + 32, ReadLe(*s, table, 8), 8);
       },
       "The COM proxy IID lookup function is not executable."},
      {"lookup routine below the image base",
       [table](std::string* s) { forge::SetLe(s, table + 32, 0x1000, 8); },
       "The COM proxy IID lookup function is not executable."},
      {"array far past the image",
       [table](std::string* s) { forge::SetLe(s, table + 16, 0xFFFFFFFFFFFFFFF0ull, 8); },
       "A COM proxy interface table is missing or lacks its terminator."},
      {"array 4 GiB above the base",
       [table](std::string* s) {
         forge::SetLe(s, table + 24, ReadLe(*s, table + 24, 8) + 0x100000000ull, 8);
       },
       "A COM proxy interface table is missing or lacks its terminator."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string image = good;
    c.change(&image);
    const Repair repaired = RunRepair(image);
    EXPECT_FALSE(repaired.ok);
    EXPECT_EQ(repaired.error, c.error);
  }
}

TEST(ProxyInterfaceTablesTest, RowPointersOutsideTheImageAreRefused) {
  std::vector<Row> rows = PatchedRows();
  SortByOriginal(&rows);
  const std::string good = forge::MakeProxyImage(OptionsOf(rows));
  const std::size_t table = forge::ProxyTableOffset(good);
  Pe64View view;
  ASSERT_EQ(ParsePe64Image(good, &view), Pe64Check::kValid);
  auto array_offset = [&](int array) {
    std::uint64_t offset = 0;
    EXPECT_TRUE(view.MapAddress(ReadLe(good, table + 8 * array, 8), 1800, false, &offset));
    return static_cast<std::size_t>(offset);
  };
  struct Case {
    const char* name;
    int array;
    std::uint64_t value;
    const char* error;
  };
  const char* kNotParallel =
      "The COM proxy interface tables are not parallel or contain invalid pointers.";
  const Case cases[] = {
      {"proxy vtable outside", 0, 0x10, kNotParallel},
      {"stub vtable of another row", 1, 0, kNotParallel},
      {"name outside", 2, 0xFFFFFFFFFFFFFFFFull, kNotParallel},
      {"delegated IID outside", 3, 0x180000000ull + 0x7FFFFFFFull, kNotParallel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string image = good;
    const std::size_t at = array_offset(c.array) + 8 * 7;
    // "stub vtable of another row": the stub of row 8 under row 7, so the two IIDs disagree.
    const std::uint64_t value = c.array == 1 ? ReadLe(good, at + 8, 8) : c.value;
    forge::SetLe(&image, at, value, 8);
    const Repair repaired = RunRepair(image);
    EXPECT_FALSE(repaired.ok);
    EXPECT_EQ(repaired.error, c.error);
  }
  // An IID pointer that leaves the image, shared consistently by both vtables of a row.
  std::string image = good;
  const std::uint64_t stub = ReadLe(good, array_offset(1) + 8 * 3, 8);
  const std::uint64_t proxy = ReadLe(good, array_offset(0) + 8 * 3, 8);
  std::uint64_t stub_at = 0, proxy_at = 0;
  ASSERT_TRUE(view.MapAddress(stub, 8, false, &stub_at));
  ASSERT_TRUE(view.MapAddress(proxy, 16, false, &proxy_at));
  forge::SetLe(&image, stub_at, 0x180000000ull + 0x7FFFFFF0ull, 8);
  forge::SetLe(&image, proxy_at + 8, 0x180000000ull + 0x7FFFFFF0ull, 8);
  const Repair repaired = RunRepair(image);
  EXPECT_FALSE(repaired.ok);
  EXPECT_EQ(repaired.error, "A COM proxy interface IID points outside the image.");
}

}  // namespace
}  // namespace vellmora::testing
