// The machine's regsvr32.exe: it registers what a stand-in library's registration block says,
// fails as regsvr32 does, and unregisters.

#include <gtest/gtest.h>

#include <string>

#include "app/installer_engine.h"
#include "app/registry_access.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "package/run_captured.h"
#include "support/test_machine.h"

namespace {

using vellmora::RegistryRoot;
using vellmora::testing::MakeTestDirectories;
using vellmora::testing::TestMachine;
using vellmora::testing::WriteTestFile;

constexpr const wchar_t* kLibrary = L"C:\\Kta\\Pellucador_kta5\\KolvC.dll";
constexpr const wchar_t* kClientPath =
    L"SOFTWARE\\Classes\\CLSID\\{F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A}\\InprocServer32";

class SimRegsvr32 : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(MakeTestDirectories(L"C:\\Kta\\Pellucador_kta5")); }

  std::uint32_t Regsvr32(const std::wstring& arguments) {
    std::uint32_t exit_code = 0;
    EXPECT_TRUE(vellmora::RunCaptured(
        engine_, vellmora::QuoteArgument(vellmora::System32Dir() + L"\\regsvr32.exe") + L" " + arguments,
        30000, &exit_code));
    return exit_code;
  }

  TestMachine machine_;
  vellmora::InstallerEngine engine_;
};

TEST_F(SimRegsvr32, RegistersTheLibrarysBlockAndUnregistersIt) {
  std::string image = std::string("MZ\x90\0header", 9) +
                      "VELLMORA-COM-REGISTRATION 1\n"
                      "CLSID\\{F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A}\\InprocServer32|@|%MODULE%\n"
                      "CLSID\\{F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A}\\InprocServer32|"
                      "ThreadingModel|Free\n"
                      "VirtualBox.VirtualBoxClient\\CLSID|@|{F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A}\n";
  image += std::string("\0trailer", 8);
  ASSERT_TRUE(WriteTestFile(kLibrary, image));

  EXPECT_EQ(Regsvr32(L"/s " + vellmora::QuoteArgument(kLibrary)), 0u);
  std::wstring value;
  ASSERT_TRUE(vellmora::ReadRegistryString(RegistryRoot::kLocalMachine, kClientPath, nullptr, &value));
  EXPECT_EQ(value, kLibrary);
  ASSERT_TRUE(vellmora::ReadRegistryString(RegistryRoot::kLocalMachine, kClientPath,
                                           L"ThreadingModel", &value));
  EXPECT_EQ(value, L"Free");
  ASSERT_TRUE(vellmora::ReadRegistryString(RegistryRoot::kClassesRoot,
                                           L"VirtualBox.VirtualBoxClient\\CLSID", nullptr, &value));

  EXPECT_EQ(Regsvr32(L"/s /u " + vellmora::QuoteArgument(kLibrary)), 0u);
  EXPECT_FALSE(vellmora::ReadRegistryString(RegistryRoot::kLocalMachine, kClientPath, nullptr, &value));
  EXPECT_FALSE(vellmora::ReadRegistryString(RegistryRoot::kLocalMachine,
                                            L"SOFTWARE\\Classes\\VirtualBox.VirtualBoxClient\\CLSID",
                                            nullptr, &value));
}

TEST_F(SimRegsvr32, FailsAsRegsvr32DoesAndWritesNothing) {
  ASSERT_TRUE(WriteTestFile(L"C:\\Kta\\Pellucador_kta5\\Plain.dll", "MZ no block here"));
  EXPECT_EQ(Regsvr32(L"/s \"C:\\Kta\\Pellucador_kta5\\Missing.dll\""), 3u);
  EXPECT_EQ(Regsvr32(L"/s \"C:\\Kta\\Pellucador_kta5\\Plain.dll\""), 4u);
  ASSERT_TRUE(WriteTestFile(kLibrary, std::string("VELLMORA-COM-REGISTRATION 1\nno bars\n") +
                                          std::string(1, '\0')));
  EXPECT_EQ(Regsvr32(L"/s " + vellmora::QuoteArgument(kLibrary)), 5u);
  EXPECT_EQ(Regsvr32(L"/s /x " + vellmora::QuoteArgument(kLibrary)), 1u);
  std::wstring value;
  EXPECT_FALSE(vellmora::ReadRegistryString(RegistryRoot::kLocalMachine, kClientPath, nullptr, &value));
}

}  // namespace
