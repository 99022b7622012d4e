#include "windows/driver_services.h"

#include "app/path_helpers.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/service_records.h"
#include "windows/product_registry_key.h"
#include "windows/windows_test.h"

namespace vellmora::testing {
namespace {

TEST(NormalizeServiceImagePathTest, ResolvesTheFilePathAConfiguredImageNames) {
  TestMachine machine;
  const std::wstring system_root = ReadEnvironmentVariable(L"SystemRoot");
  ASSERT_FALSE(system_root.empty());
  const std::wstring folder = L"D:\\Drivers Folder";
  ASSERT_EQ(platform::SetEnvironmentVariableW(L"VELLMORA_DRIVER_DIR", &folder), 0u);
  struct Case {
    const wchar_t* configured;
    std::wstring resolved;
  };
  const Case cases[] = {
      {L"", L""},
      {L" \t ", L""},
      {L"\"D:\\Vellmora\\KolvDrv_ovm5.sys\" -verbose", L"D:\\Vellmora\\KolvDrv_ovm5.sys"},
      {L"\"D:\\Vellmora\\KolvDrv_ovm5.sys", L""},
      {L"D:\\Vellmora\\KolvDrv_ovm5.sys -verbose", L"D:\\Vellmora\\KolvDrv_ovm5.sys"},
      {L"D:\\My Drivers\\KolvDrv.SYS /x", L"D:\\My Drivers\\KolvDrv.SYS"},
      // Whichever extension ends first.
      {L"D:\\Tools.dll\\KolvDrv_ovm5.sys", L"D:\\Tools.dll"},
      {L"D:\\no extension here", L"D:\\no"},
      {L"  D:\\Vellmora\\a.sys  ", L"D:\\Vellmora\\a.sys"},
      {L"\\??\\D:\\Vellmora\\a.sys", L"D:\\Vellmora\\a.sys"},
      {L"\\\\?\\D:\\Vellmora\\a.sys", L"D:\\Vellmora\\a.sys"},
      {L"\\SystemRoot\\System32\\drivers\\a.sys", system_root + L"\\System32\\drivers\\a.sys"},
      {L"\\SYSTEMROOT\\System32\\drivers\\a.sys", system_root + L"\\System32\\drivers\\a.sys"},
      {L"System32\\drivers\\a.sys", L"System32\\drivers\\a.sys"},
      {L"%VELLMORA_DRIVER_DIR%\\a.sys -x", L"D:\\Drivers Folder\\a.sys"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.configured));
    EXPECT_EQ(NormalizeServiceImagePath(c.configured), c.resolved);
  }
  platform::SetEnvironmentVariableW(L"VELLMORA_DRIVER_DIR", nullptr);
}

class DriverServicesTest : public WindowsTest {
 protected:
  DriverServicesTest() {
    install_dir_ = engine_.paths.InstallDir();
    driver_file_ = JoinPath(install_dir_, kObsoleteDriverFile);
  }
  ~DriverServicesTest() override {
    DeleteServiceRecord(kOwnDriverAlias);
    DeleteServiceRecord(kOlderDriverAlias);
  }
  bool RestartMarked() {
    std::uint32_t reboot = 0;
    return engine_.TakeSnapshot().restart_required &&
           ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"RebootRequired",
                             &reboot) &&
           reboot == 1;
  }
  bool ServiceExists(const wchar_t* name) {
    platform::ServiceHandle manager, service;
    platform::OpenSCManagerW(platform::kScManagerConnect, &manager);
    return platform::OpenServiceW(manager, name, platform::kServiceQueryStatus, &service) !=
           platform::kErrorServiceDoesNotExist;
  }

  Path install_dir_;
  Path driver_file_;
};

TEST_F(DriverServicesTest, NothingInstalledIsNothingToDo) {
  EXPECT_TRUE(engine_.RemoveOwnedVellmoraDriverServices());
  EXPECT_EQ(LogText(), "");
  EXPECT_FALSE(RestartMarked());
}

// The real Service Control Manager (Wine's under the Windows build): a stopped record of ours is
// removed, a foreign record on the older alias is left as it was.
TEST_F(DriverServicesTest, AnOwnedRecordIsRemovedAndAForeignOneKept) {
  ASSERT_TRUE(CreateKernelDriverRecord(kOwnDriverAlias, L"\\??\\" + driver_file_));
  const std::wstring foreign = L"C:\\Program Files\\Other\\KolvDrv_vlm.sys";
  ASSERT_TRUE(CreateKernelDriverRecord(kOlderDriverAlias, foreign));
  ASSERT_TRUE(WriteTestFile(driver_file_, "driver"));

  EXPECT_TRUE(engine_.RemoveOwnedVellmoraDriverServices());
  EXPECT_EQ(LogText(),
            "[+] Removed obsolete Vellmora driver service without a restart: PellucadorDrv_ovm5.\n"
            "The obsolete service PellucadorDrv_vlm belongs to another installation and was "
            "preserved: image=" +
                ToUtf8(foreign) + " | selected_root=" + ToUtf8(install_dir_) +
                " | state=1 | continue=yes.\n");
  EXPECT_FALSE(ServiceExists(kOwnDriverAlias));
  EXPECT_TRUE(ServiceExists(kOlderDriverAlias));
  EXPECT_EQ(platform::GetFileAttributesW(driver_file_), platform::kInvalidFileAttributes);
  EXPECT_FALSE(RestartMarked());
}

TEST_F(DriverServicesTest, ALockedDriverFileIsScheduledForRemovalAtRestart) {
  ASSERT_TRUE(WriteTestFile(driver_file_, "driver"));
  platform::UniqueHandle open;
  ASSERT_EQ(platform::CreateFileW(driver_file_, 0x80000000 /* GENERIC_READ */, 0x1 /* read */,
                                  platform::kOpenExisting, 0, &open),
            0u);
  EXPECT_FALSE(engine_.RemoveOwnedVellmoraDriverServices());
  EXPECT_EQ(
      LogText(),
      "The obsolete Vellmora driver file is still in use and was scheduled for removal at the "
      "next restart.\n");
  EXPECT_TRUE(RestartMarked());
#if VELLMORA_PLATFORM_SIM
  EXPECT_EQ(sim::RecordedRestartDeletes(), std::vector<std::string>{ToUtf8(driver_file_)});
#endif
}

TEST_F(DriverServicesTest, AReadOnlyDriverFileIsRemoved) {
  ASSERT_TRUE(WriteTestFile(driver_file_, "driver"));
  ASSERT_EQ(platform::SetFileAttributesW(driver_file_, platform::kAttributeReadOnly), 0u);
  EXPECT_TRUE(engine_.RemoveOwnedVellmoraDriverServices());
  EXPECT_EQ(platform::GetFileAttributesW(driver_file_), platform::kInvalidFileAttributes);
  EXPECT_EQ(LogText(), "");
}

#if VELLMORA_PLATFORM_SIM

std::wstring Replaced(std::wstring text, const std::wstring& token, const std::wstring& value) {
  for (std::size_t at = text.find(token); at != std::wstring::npos;
       at = text.find(token, at + value.size())) {
    text.replace(at, token.size(), value);
  }
  return text;
}

// One record on an alias, and what the removal makes of it. {install} stands for the install
// directory in images and log lines.
enum class Outcome { kRemoved, kUntouched, kDisabledAndKept, kPendingDeletion };
struct DriverCase {
  const char* label;
  const wchar_t* alias;
  const wchar_t* image;
  std::uint32_t state = platform::kServiceStopped;
  std::uint32_t stop_error = 0;
  bool held_elsewhere = false;
  bool marked_for_delete = false;
  const wchar_t* image_on_delete_open = L"";
  std::uint32_t service_type = platform::kServiceKernelDriver;
  bool result = true;
  const wchar_t* log = L"";
  Outcome outcome = Outcome::kRemoved;
  bool restart = false;
};

void PrintTo(const DriverCase& c, std::ostream* out) { *out << c.label; }

class DriverRecordTest : public DriverServicesTest,
                         public ::testing::WithParamInterface<DriverCase> {};

TEST_P(DriverRecordTest, OnlyAProvenOwnRecordIsChanged) {
  const DriverCase& c = GetParam();
  sim::ServiceRecord record;
  record.name = c.alias;
  record.service_type = c.service_type;
  record.state = c.state;
  record.image_path = Replaced(c.image, L"{install}", install_dir_);
  record.stop_error = c.stop_error;
  record.held_elsewhere = c.held_elsewhere;
  record.marked_for_delete = c.marked_for_delete;
  record.image_path_on_delete_open = c.image_on_delete_open;
  sim::AddService(record);
  // The side-by-side edition's own driver, running, is never touched.
  sim::ServiceRecord protected_driver;
  protected_driver.name = L"PellucadorDrv_kta5";
  protected_driver.state = platform::kServiceRunning;
  protected_driver.start_type = platform::kServiceSystemStart;
  protected_driver.image_path = L"\\SystemRoot\\System32\\drivers\\KolvDrv_kta5.sys";
  sim::AddService(protected_driver);

  EXPECT_EQ(engine_.RemoveOwnedVellmoraDriverServices(), c.result);
  EXPECT_EQ(LogText(), ToUtf8(Replaced(c.log, L"{install}", install_dir_)));
  EXPECT_EQ(RestartMarked(), c.restart);

  std::vector<sim::ServiceRecord> services = sim::Services();
  ASSERT_FALSE(services.empty());
  EXPECT_EQ(services.back().name, L"PellucadorDrv_kta5");
  EXPECT_EQ(services.back().state, platform::kServiceRunning);
  EXPECT_EQ(services.back().start_type, platform::kServiceSystemStart);
  const sim::ServiceRecord* left = services.size() == 2 ? &services.front() : nullptr;
  switch (c.outcome) {
    case Outcome::kRemoved:
      EXPECT_EQ(left, nullptr);
      break;
    case Outcome::kUntouched:
      ASSERT_NE(left, nullptr);
      EXPECT_EQ(left->start_type, record.start_type);
      EXPECT_EQ(left->state, record.state);
      EXPECT_EQ(left->marked_for_delete, record.marked_for_delete);
      break;
    case Outcome::kDisabledAndKept:
      ASSERT_NE(left, nullptr);
      EXPECT_EQ(left->start_type, platform::kServiceDisabled);
      EXPECT_FALSE(left->marked_for_delete);
      break;
    case Outcome::kPendingDeletion:
      ASSERT_NE(left, nullptr);
      EXPECT_TRUE(left->marked_for_delete);
      break;
  }
}

const DriverCase kDriverCases[] = {
    {.label = "owned and stopped",
     .alias = kOwnDriverAlias,
     .image = L"\\??\\{install}\\KolvDrv_ovm5.sys",
     .log =
         L"[+] Removed obsolete Vellmora driver service without a restart: PellucadorDrv_ovm5.\n"},
    {.label = "owned and running, quoted with arguments",
     .alias = kOlderDriverAlias,
     .image = L"\"{install}\\KolvDrv_ovm5.sys\" -start",
     .state = platform::kServiceRunning,
     .log =
         L"[+] Removed obsolete Vellmora driver service without a restart: PellucadorDrv_vlm.\n"},
    {.label = "owned and refusing to stop",
     .alias = kOwnDriverAlias,
     .image = L"{install}\\KolvDrv_ovm5.sys",
     .state = platform::kServiceRunning,
     .stop_error = platform::kErrorInvalidServiceControl,
     .result = false,
     .log = L"The obsolete service PellucadorDrv_ovm5 could not be stopped and removed immediately "
            L"(stop error 1052, delete error 1052).\n",
     .outcome = Outcome::kDisabledAndKept,
     .restart = true},
    {.label = "owned, deletion held by another process",
     .alias = kOwnDriverAlias,
     .image = L"{install}\\KolvDrv_ovm5.sys",
     .held_elsewhere = true,
     .result = false,
     .log = L"The obsolete service PellucadorDrv_ovm5 was stopped and marked for deletion, but "
            L"Windows still holds it; a restart is required.\n",
     .outcome = Outcome::kPendingDeletion,
     .restart = true},
    {.label = "already pending deletion",
     .alias = kOwnDriverAlias,
     .image = L"{install}\\KolvDrv_ovm5.sys",
     .held_elsewhere = true,
     .marked_for_delete = true,
     .result = false,
     .log = L"Waiting for Windows to finish the already pending removal of PellucadorDrv_ovm5.\n"
            L"The obsolete service PellucadorDrv_ovm5 remains loaded after the automatic removal "
            L"attempt; a Windows restart is required.\n",
     .outcome = Outcome::kPendingDeletion,
     .restart = true},
    {.label = "foreign on the own alias",
     .alias = kOwnDriverAlias,
     .image = L"C:\\Other\\KolvDrv_ovm5.sys",
     .result = false,
     .log = L"The obsolete service PellucadorDrv_ovm5 belongs to another installation and was "
            L"preserved: image=C:\\Other\\KolvDrv_ovm5.sys | selected_root={install} | state=1 | "
            L"continue=no.\n",
     .outcome = Outcome::kUntouched},
    {.label = "foreign under SystemRoot on the older alias, running",
     .alias = kOlderDriverAlias,
     .image = L"\\systemroot\\System32\\drivers\\KolvDrv_vlm.sys",
     .state = platform::kServiceRunning,
     .result = false,
     .log = L"The obsolete service PellucadorDrv_vlm belongs to another installation and was "
            L"preserved: image=C:\\Windows\\System32\\drivers\\KolvDrv_vlm.sys | "
            L"selected_root={install} | state=4 | continue=no.\n",
     .outcome = Outcome::kUntouched},
    {.label = "relative image",
     .alias = kOwnDriverAlias,
     .image = L"System32\\drivers\\KolvDrv_ovm5.sys",
     .result = false,
     .log =
         L"The obsolete service PellucadorDrv_ovm5 was preserved because its ImagePath could "
         L"not be verified (Windows error 161, configured=System32\\drivers\\KolvDrv_ovm5.sys).\n",
     .outcome = Outcome::kUntouched},
    {.label = "not a driver",
     .alias = kOlderDriverAlias,
     .image = L"{install}\\KolvDrv_ovm5.sys",
     .service_type = platform::kServiceWin32OwnProcess,
     .result = false,
     .log = L"The obsolete service PellucadorDrv_vlm was preserved because its ImagePath could "
            L"not be verified (Windows error 161, configured={install}\\KolvDrv_ovm5.sys).\n",
     .outcome = Outcome::kUntouched},
    {.label = "an executable inside the install directory",
     .alias = kOwnDriverAlias,
     .image = L"{install}\\KolvSVC.exe",
     .result = false,
     .log = L"The obsolete service PellucadorDrv_ovm5 was preserved because its ImagePath could "
            L"not be verified (Windows error 161, configured={install}\\KolvSVC.exe).\n",
     .outcome = Outcome::kUntouched},
    {.label = "image changed between the inspections",
     .alias = kOwnDriverAlias,
     .image = L"{install}\\KolvDrv_ovm5.sys",
     .image_on_delete_open = L"C:\\Other\\KolvDrv_ovm5.sys",
     .result = false,
     .log = L"The ImagePath of obsolete service PellucadorDrv_ovm5 changed during inspection; the "
            L"service was preserved.\n",
     .outcome = Outcome::kUntouched},
};

INSTANTIATE_TEST_SUITE_P(Records, DriverRecordTest, ::testing::ValuesIn(kDriverCases));

#endif

}  // namespace
}  // namespace vellmora::testing
