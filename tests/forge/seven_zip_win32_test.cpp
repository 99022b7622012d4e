// Packages forged in-process under Windows and read by the Windows 7-Zip that the installer
// embeds: what it prints for the RAR5 entries the listing check must catch, and the 7z variant
// packed by that same 7-Zip.

#include <windows.h>

#include "forge_test_support.h"

namespace forge_test {
namespace {

// The Windows 7-Zip of the pinned package, reached through Wine's Z: drive or a real path.
std::wstring SevenZipExe() {
  std::wstring path;
  for (const char* c = VELLMORA_TEST_7Z_EXE; *c; ++c) path.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
  return path[0] == L'\\' ? L"Z:" + path : path;
}

ToolRun RunSevenZipExe(const std::wstring& arguments, const std::filesystem::path& output) {
  ToolRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE file = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return run;
  const std::wstring exe = SevenZipExe();
  std::wstring line = L"\"" + exe + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = file;
  startup.hStdError = file;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(file);
  if (!started) return run;
  WaitForSingleObject(process.hProcess, 120000);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  run.exit_code = static_cast<int>(code);
  run.output = ReadAll(output);
  return run;
}

std::wstring Quoted(const std::filesystem::path& path) { return L"\"" + path.wstring() + L"\""; }

TEST_F(ForgeTest, WindowsSevenZipListsTheHostileEntriesOfAPackageForgedInProcess) {
  struct Row {
    forge::Hostile hostile;
    const char* path;
    const char* property;
    const char* value;
    int items;  // how many items carry that path
  };
  // The Windows 7-Zip shows item paths with backslashes, but link targets with forward slashes,
  // as the Linux one does.
  const Row rows[] = {
      {forge::Hostile::kTraversal, "payload\\ProgramFiles\\Vellmora\\..\\..\\..\\evil.dll", "Path",
       nullptr, 1},
      // Both names of the file look alike here.
      {forge::Hostile::kBackslashSpelling, "payload\\ProgramFiles\\Vellmora\\Vellmora.exe",
       "Path", nullptr, 2},
      {forge::Hostile::kHardLink, "payload\\ProgramFiles\\Vellmora\\hardlink.bin", "Hard Link",
       "payload/ProgramFiles/Vellmora/Vellmora.exe", 1},
      {forge::Hostile::kJunction, "payload\\ProgramFiles\\Vellmora\\junction", "Symbolic Link",
       "C:/Windows", 1},
      {forge::Hostile::kAlternateStream, "payload\\ProgramFiles\\Vellmora\\Vellmora.exe:hidden",
       "Alternate Stream", "+", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(forge::HostileName(row.hostile));
    forge::PackageOptions options;
    options.payload_bytes = 256 * 1024;
    options.extra_entries = {forge::HostileEntry(forge::PackageKind::kEngine, row.hostile)};
    const auto archive = Forge(options, "hostile.rar");
    const ToolRun test = RunSevenZipExe(L"t -sns " + Quoted(archive), In("test.txt"));
    EXPECT_EQ(test.exit_code, 0) << test.output;
    const ToolRun listing =
        RunSevenZipExe(L"l -slt -sns -sccUTF-8 " + Quoted(archive), In("listing.txt"));
    ASSERT_EQ(listing.exit_code, 0) << listing.output;
    const auto items = ListedItems(listing.output);
    EXPECT_NE(FindItem(items, "payload\\ProgramFiles\\Vellmora\\Vellmora.exe"), nullptr);
    const ListedItem* item = FindItem(items, row.path);
    ASSERT_NE(item, nullptr) << listing.output;
    int same = 0;
    for (const ListedItem& listed : items) same += listed.Get("Path") == row.path ? 1 : 0;
    EXPECT_EQ(same, row.items);
    if (row.value != nullptr) {
      EXPECT_EQ(item->Get(row.property), row.value);
    }
  }
}

}  // namespace
}  // namespace forge_test

namespace forge_test {
namespace {

TEST_F(ForgeTest, WindowsSevenZipPacksThe7zVariantWithAnAntiItem) {
  forge::PackageOptions options;
  options.payload_bytes = 256 * 1024;
  options.format = forge::ArchiveFormat::kSevenZip;
  options.seven_zip = SevenZipExe();
  options.extra_entries = {forge::HostileEntry(forge::PackageKind::kEngine, forge::Hostile::kAntiItem)};
  const auto archive = Forge(options, "anti.7z");
  const ToolRun listing = RunSevenZipExe(L"l -slt -sccUTF-8 " + Quoted(archive), In("listing.txt"));
  ASSERT_EQ(listing.exit_code, 0) << listing.output;
  const auto items = ListedItems(listing.output);
  EXPECT_NE(FindItem(items, "payload\\ProgramFiles\\Vellmora\\Vellmora.exe"), nullptr);
  const ListedItem* anti = FindItem(items, "payload\\ProgramFiles\\Vellmora\\obsolete.dll");
  ASSERT_NE(anti, nullptr) << listing.output;
  EXPECT_EQ(anti->Get("Anti"), "+");
}

}  // namespace
}  // namespace forge_test
