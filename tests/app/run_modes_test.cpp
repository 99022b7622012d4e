#include "app/run_modes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>

#include "app/crash_log.h"

namespace vellmora {
namespace {

struct ParseCase {
  const wchar_t* line;
  RunMode mode;
  const char* argument;
};

TEST(RunModesTest, FirstMatchingRowDecides) {
  const ParseCase cases[] = {
      {L"", RunMode::kWizard, ""},
      {L"  \t ", RunMode::kWizard, ""},
      {L"   --INSTALL-ALL   \"D:\\\"   ", RunMode::kInstallAll, "D:\\"},
      {L"--install-all", RunMode::kInstallAll, ""},
      {L"--install-allD:", RunMode::kInstallAll, "D:"},
      {L"--install-all \" D:\\ \"", RunMode::kInstallAll, " D:\\ "},
      {L"--install-all \"", RunMode::kInstallAll, "\""},
      {L"--install-all \"D:", RunMode::kInstallAll, "\"D:"},
      {L"--debug-registry C:\\Vellmora", RunMode::kDebugRegistry, "C:\\Vellmora"},
      {L"--debug-comD", RunMode::kDebugCom, "D"},
      {L"--Debug-Pie64 E:", RunMode::kDebugPie64, "E:"},
      {L"--migrate-direct-player", RunMode::kMigrateDirectPlayer, ""},
      {L"  --MIGRATE-DIRECT-PLAYER ", RunMode::kMigrateDirectPlayer, ""},
      {L"--migrate-direct-player x", RunMode::kWizard, ""},
      {L"--install", RunMode::kWizard, ""},
      {L"/install-all D:", RunMode::kWizard, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.line, c.line + std::wcslen(c.line)));
    RunRequest request = ParseCommandLine(c.line);
    EXPECT_EQ(request.mode, c.mode);
    EXPECT_EQ(request.argument, c.argument);
  }
}

// The uninstall entry starts the installer's copy without arguments: a plain start opens the
// wizard, whose home screen offers the uninstall of a detected installation.
TEST(RunModesTest, StartedFromTheUninstallEntryTheInstallerOpensTheWizard) {
  EXPECT_EQ(ParseCommandLine(L"").mode, RunMode::kWizard);
}

TEST(RunModesTest, ArgumentKeepsOnlyTheLowByteOfEachUnit) {
  std::wstring line = L"--install-all ";
  line.push_back(static_cast<wchar_t>(0x0144));  // the low byte is 'D'
  line += L":";
  EXPECT_EQ(ParseCommandLine(line).argument, "D:");
}

TEST(CrashRecordTest, FourLinesInTheirFormat) {
  int marker = 0;
  platform::ExceptionDetails details{true, 0xC0000005u, &marker};
  char buffer[kCrashRecordBytes];
  std::string record(buffer, FormatCrashRecord(details, 4321, 77, buffer));
  char address[32];
  std::snprintf(address, sizeof address, "%016llX",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&marker)));
  EXPECT_EQ(record, std::string("exception_code=0xC0000005\r\nexception_address=") + address +
                        "\r\nprocess_id=4321\r\nthread_id=77\r\n");
  EXPECT_EQ(std::string(buffer, FormatCrashRecord(platform::ExceptionDetails{}, 1, 2, buffer)),
            "exception_code=0x00000000\r\nexception_address=0000000000000000\r\nprocess_id=1\r\n"
            "thread_id=2\r\n");
}

}  // namespace
}  // namespace vellmora
