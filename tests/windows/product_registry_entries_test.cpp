#include "windows/product_registry_entries.h"

#include "app/path_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "support/log_cursor.h"
#include "windows/product_registry_key.h"
#include "windows/windows_test.h"

namespace vellmora::testing {
namespace {

constexpr const wchar_t* kMachineId = L"5A0C1E4B-9D3F-4E21-8B7A-0F6D2C9E1A33";
constexpr const wchar_t* kVersionMachineId = L"C3F1B2A0-7E6D-4C5B-9A8F-1E2D3C4B5A69";

class ProductRegistryEntriesTest : public WindowsTest {
 protected:
  ProductRegistryEntriesTest() {
    engine_.adb_port = 5571;
    local_app_data_ = machine_.In(L"C\\Users\\ana\\AppData\\Local\\DO-Rarari_ovm5");
    UseRunningExecutableAsInstaller();
  }
  bool Write() {
    return WriteProductRegistryEntries(engine_, kMachineId, kVersionMachineId, local_app_data_);
  }
  // The installer copy the uninstall entry starts; empty when the entry names none.
  static platform::Path InstallerCopy() {
    std::wstring command;
    if (!ReadRegistryString(RegistryRoot::kLocalMachine, kUninstallKey, L"UninstallString",
                            &command) ||
        command.size() < 2) {
      return {};
    }
    return command.substr(1, command.size() - 2);
  }
  std::wstring InstallDirText() const { return engine_.paths.InstallDir() + L"\\"; }
  std::wstring DataDir() const { return engine_.paths.DataDir(); }

  RegistryValues ExpectedProductValues() const {
    return {
        {L"ProductName", L"REG_SZ:Vellmora"},
        {L"InstallDir", L"REG_SZ:" + InstallDirText()},
        {L"DataDir", L"REG_SZ:" + DataDir()},
        {L"LocalAppDataDir", L"REG_SZ:" + local_app_data_},
        {L"RuntimeDir", L"REG_SZ:" + InstallDirText()},
        {L"EngineTag", L"REG_SZ:_ovm5"},
        {L"ProtectedCoreTag", L"REG_SZ:_kta5"},
        {L"PackageReleaseVersion", L"REG_SZ:3.9.1.0"},
        {L"DisplayVersion", L"REG_SZ:3.9.1.0 P64"},
        {L"EnginePackageUrl",
         L"REG_SZ:https://packages.vellmora.com/3.9.1.1/Vellmora-Engine-3.9.1.0.rar"},
        {L"InstancePackageUrl",
         L"REG_SZ:https://packages.vellmora.com/3.9.1.1/Vellmora-InstanceP64-3.9.1.0.rar"},
        {L"InstallationScope", L"REG_SZ:VellmoraOnly"},
        {L"VirtualizationBackend", L"REG_SZ:WHPX"},
        {L"MachineID", std::wstring(L"REG_SZ:") + kMachineId},
        {L"VersionMachineID", std::wstring(L"REG_SZ:") + kVersionMachineId},
        {L"AdbPort", L"REG_DWORD:5571"},
    };
  }
  RegistryValues ExpectedEngineNamespaceValues() const {
    return {
        {L"LogDir", L"REG_SZ:" + DataDir() + L"\\Logs\\"},
        {L"DataDir", L"REG_SZ:" + DataDir() + L"\\Engine\\"},
        {L"InstallDir", L"REG_SZ:" + InstallDirText()},
        {L"UserDefinedDir", L"REG_SZ:" + DataDir()},
        {L"USER_GUID", std::wstring(L"REG_SZ:") + kMachineId},
        {L"Version", L"REG_SZ:3.9.1.0 P64"},
        // An empty text reads as absent, but it is stored as a string.
        {L"CampaignJson", L"REG_SZ:"},
        {L"IsUpgrade", L"REG_DWORD:0"},
    };
  }

  std::wstring local_app_data_;
};

TEST_F(ProductRegistryEntriesTest, WritesEveryValueInItsOrderUnderBothRoots) {
  ASSERT_TRUE(Write());
  EXPECT_EQ(ValuesOf(RegistryRoot::kLocalMachine, kProductKey),
            AsEnumerated(ExpectedProductValues()));
  EXPECT_EQ(ValuesOf(RegistryRoot::kCurrentUser, kProductKey),
            AsEnumerated(ExpectedProductValues()));
  EXPECT_EQ(ValuesOf(RegistryRoot::kLocalMachine, kEngineNamespaceKey),
            AsEnumerated(ExpectedEngineNamespaceValues()));
  RegistryValues user_namespace = ExpectedEngineNamespaceValues();
  user_namespace.emplace_back(L"MiCampaignJson", L"REG_SZ:{}");
  EXPECT_EQ(ValuesOf(RegistryRoot::kCurrentUser, kEngineNamespaceKey),
            AsEnumerated(user_namespace));
  const platform::Path copy = InstallerCopy();
  ASSERT_FALSE(copy.empty());
  EXPECT_EQ(ValuesOf(RegistryRoot::kLocalMachine, kUninstallKey),
            AsEnumerated({
                {L"DisplayName", L"REG_SZ:Vellmora"},
                {L"DisplayVersion", L"REG_SZ:3.9.1.0 P64"},
                {L"Publisher", L"REG_SZ:Vellmora"},
                {L"InstallLocation", L"REG_SZ:" + InstallDirText()},
                {L"DisplayIcon", L"REG_SZ:" + engine_.paths.InstallDir() + L"\\Vellmora.exe,0"},
                {L"NoModify", L"REG_DWORD:1"},
                {L"NoRepair", L"REG_DWORD:1"},
                {L"UninstallString", L"REG_SZ:\"" + copy + L"\""},
            }));
  EXPECT_EQ(ParentPath(ParentPath(copy)),
            JoinPath(engine_.paths.program_data, L"Vellmora-Installer"));
  EXPECT_NE(platform::GetFileAttributesW(copy), platform::kInvalidFileAttributes);
  EXPECT_TRUE(ValuesOf(RegistryRoot::kCurrentUser, kUninstallKey).empty());
  EXPECT_EQ(LogText(), "[+] Independent Vellmora registry entries were created\n");
}

// An upgrade over an older installation: the obsolete driver values go, the record from which the
// uninstall restores the side-by-side edition's driver stays, and a second pass changes nothing.
TEST_F(ProductRegistryEntriesTest, AnUpgradeDropsTheDriverValuesButKeepsTheForeignDriverRecord) {
  for (RegistryRoot root : {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser}) {
    ASSERT_TRUE(WriteRegistryString(root, kProductKey, L"DriverService", L"PellucadorDrv_ovm5"));
    ASSERT_TRUE(WriteRegistryString(root, kProductKey, L"DriverImage", L"D:\\x\\KolvDrv_ovm5.sys"));
  }
  ASSERT_TRUE(
      WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"OriginalDriverStartType", 2));
  ASSERT_TRUE(
      WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"OriginalDriverWasRunning", 1));
  ASSERT_TRUE(Write());
  RegistryValues first = ValuesOf(RegistryRoot::kLocalMachine, kProductKey);
  ASSERT_TRUE(Write());
  EXPECT_EQ(ValuesOf(RegistryRoot::kLocalMachine, kProductKey), first);

  RegistryValues expected = {{L"OriginalDriverStartType", L"REG_DWORD:2"},
                             {L"OriginalDriverWasRunning", L"REG_DWORD:1"}};
  for (const auto& value : ExpectedProductValues()) expected.push_back(value);
  EXPECT_EQ(first, AsEnumerated(expected));
  EXPECT_EQ(ValuesOf(RegistryRoot::kCurrentUser, kProductKey),
            AsEnumerated(ExpectedProductValues()));
}

// Each pass keeps one copy of the installer: the one its entry names.
TEST_F(ProductRegistryEntriesTest, ASecondPassNamesANewCopyAndRemovesTheEarlierOne) {
  ASSERT_TRUE(Write());
  const platform::Path first = InstallerCopy();
  ASSERT_TRUE(Write());
  const platform::Path second = InstallerCopy();
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, second);
  EXPECT_EQ(platform::GetFileAttributesW(ParentPath(first)), platform::kInvalidFileAttributes);
  EXPECT_NE(platform::GetFileAttributesW(second), platform::kInvalidFileAttributes);
  EXPECT_EQ(LogText(), "[+] Independent Vellmora registry entries were created\n"
                       "[+] Independent Vellmora registry entries were created\n");
}

TEST_F(ProductRegistryEntriesTest, NoCopyOfTheInstallerFailsThePassWithoutAnUninstallString) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  sim::InjectFault({"write", L"*\\VellmoraSetup.exe.vellmora.tmp", 1, platform::kErrorDiskFull});
  EXPECT_FALSE(Write());
  EXPECT_EQ(InstallerCopy(), L"");
  EXPECT_EQ(ValuesOf(RegistryRoot::kLocalMachine, kUninstallKey).size(), 7u);
  const std::string text = LogText();
  EXPECT_EQ(text.rfind("Could not keep a copy of the installer for the uninstall entry: ", 0), 0u)
      << text;
  EXPECT_NE(text.find(" (Windows error 112: "), std::string::npos) << text;
  EXPECT_NE(text.find("\n[-] Failed to create the independent Vellmora registry entries.\n"),
            std::string::npos);
#endif
}

TEST_F(ProductRegistryEntriesTest, ARefusedMachineHiveStillWritesTheUserValues) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  sim::SetElevated(false);
  LogCursor log;
  EXPECT_FALSE(Write());
  sim::SetElevated(true);

  RegistryValues user_namespace = ExpectedEngineNamespaceValues();
  user_namespace.emplace_back(L"MiCampaignJson", L"REG_SZ:{}");
  EXPECT_EQ(ValuesOf(RegistryRoot::kCurrentUser, kProductKey),
            AsEnumerated(ExpectedProductValues()));
  EXPECT_EQ(ValuesOf(RegistryRoot::kCurrentUser, kEngineNamespaceKey),
            AsEnumerated(user_namespace));
  EXPECT_TRUE(ValuesOf(RegistryRoot::kLocalMachine, kProductKey).empty());
  EXPECT_TRUE(ValuesOf(RegistryRoot::kLocalMachine, kUninstallKey).empty());

  // One line per refused write; deleting from a key that does not exist is no failure.
  std::vector<std::string> failures;
  for (const std::string& line : log.NewLines()) {
    if (line.rfind("REGISTRY FAILURE: ", 0) == 0) failures.push_back(line);
  }
  EXPECT_EQ(failures.size(), 16u + 8u + 8u);
  ASSERT_FALSE(failures.empty());
  EXPECT_EQ(
      failures.front(),
      "REGISTRY FAILURE: action=create/open string, root=HKLM, key=SOFTWARE\\Ostrevin\\Vellmora, "
      "value=ProductName, win32Error=5.");
  EXPECT_EQ(
      failures.back(),
      "REGISTRY FAILURE: action=create/open string, root=HKLM, key=SOFTWARE\\Microsoft\\Windows\\"
      "CurrentVersion\\Uninstall\\Ostrevin Vellmora, value=UninstallString, win32Error=5.");
  // The copy the refused entry would have named does not stay behind.
  std::vector<platform::DirectoryEntry> copies;
  platform::ListDirectory(JoinPath(engine_.paths.program_data, L"Vellmora-Installer"), &copies);
  EXPECT_TRUE(copies.empty());
  EXPECT_EQ(LogText(), "[-] Failed to create the independent Vellmora registry entries.\n");
#endif
}

// A refused value in the middle does not stop the pass.
TEST_F(ProductRegistryEntriesTest, OneRefusedValueFailsThePassButNotTheValuesAfterIt) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  // The product key's third value under HKCU (DataDir).
  sim::InjectFault({"reg_create", L"HKCU\\SOFTWARE\\Ostrevin\\Vellmora", 3, 1021});
  EXPECT_FALSE(Write());
  RegistryValues expected = ExpectedProductValues();
  expected.erase(expected.begin() + 2);
  EXPECT_EQ(ValuesOf(RegistryRoot::kCurrentUser, kProductKey), expected);
  EXPECT_EQ(ValuesOf(RegistryRoot::kLocalMachine, kProductKey),
            AsEnumerated(ExpectedProductValues()));
  EXPECT_EQ(ValuesOf(RegistryRoot::kLocalMachine, kUninstallKey).size(), 8u);
  EXPECT_EQ(LogText(), "[-] Failed to create the independent Vellmora registry entries.\n");
#endif
}

}  // namespace
}  // namespace vellmora::testing
