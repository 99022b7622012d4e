#include "windows/com_server_registration.h"

#include "app/path_helpers.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "windows/com_registration_fixture.h"

namespace vellmora::testing {
namespace {

constexpr const wchar_t* kProxyKey = L"SOFTWARE\\Classes\\CLSID\\{11111111-0000-0000-0000-000000000001}";
constexpr const wchar_t* kClientKey = L"SOFTWARE\\Classes\\CLSID\\{11111111-0000-0000-0000-000000000002}";

// A library whose registration block writes one class with its own path; an empty key gives one
// without a block.
std::string Library(const std::wstring& class_key) {
  std::string image = std::string("MZ\0\0", 4);
  if (class_key.empty()) return image + "no registration";
  image += "VELLMORA-COM-REGISTRATION 1\n" + ToUtf8(class_key.substr(17)) + "|@|%MODULE%\n";
  return image + std::string(1, '\0');
}

// The sim's regsvr32 applies the libraries' blocks; the server is a host script whose exit code
// the test chooses.
class ComServerRegistrationTest : public ComRegistrationTest {
 protected:
  void SetUp() override { REQUIRE_SIMULATED_MACHINE(); }

  void WriteBinaries(const Path& directory, const wchar_t* server, int server_exit = 0,
                     bool proxy_block = true, bool client_block = true) {
    ASSERT_TRUE(MakeTestDirectories(directory));
    ASSERT_TRUE(WriteTestFile(JoinPath(directory, L"KolvProxyStub.dll"),
                              Library(proxy_block ? kProxyKey : L"")));
    ASSERT_TRUE(WriteTestFile(JoinPath(directory, L"KolvC.dll"),
                              Library(client_block ? kClientKey : L"")));
    ASSERT_TRUE(WriteTestFile(JoinPath(directory, server),
                              "#!/bin/sh\nexit " + std::to_string(server_exit) + "\n"));
  }
  bool Registered(const wchar_t* key) {
    std::wstring value;
    return ReadRegistryString(RegistryRoot::kLocalMachine, key, nullptr, &value);
  }
};

TEST_F(ComServerRegistrationTest, TheThreeCommandsRunInOrderAndTheFirstFailureStopsThem) {
  struct Case {
    const char* name;
    int server_exit;
    bool proxy_block;
    bool client_block;
    std::string line;
    bool proxy_registered;
    bool client_registered;
  };
  const Case cases[] = {
      {"all succeed", 0, true, true, "", true, true},
      {"the proxy library has no registration", 0, false, true,
       "COM registration failed for Vellmora KolvProxyStub.dll (exit code 4).\n", false, false},
      {"the client library has no registration", 0, true, false,
       "COM registration failed for Vellmora KolvC.dll (exit code 4).\n", true, false},
      {"the server fails", 7, true, true,
       "COM registration failed for Vellmora COM server (exit code 7).\n", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteRegistryTree(RegistryRoot::kLocalMachine, kProxyKey);
    DeleteRegistryTree(RegistryRoot::kLocalMachine, kClientKey);
    WriteBinaries(install_dir_, L"VLMServ.exe", c.server_exit, c.proxy_block, c.client_block);
    EXPECT_EQ(RegisterComServers(engine_, install_dir_, "Vellmora"), c.line.empty());
    EXPECT_EQ(TakeLog(), c.line);
    EXPECT_EQ(Registered(kProxyKey), c.proxy_registered);
    EXPECT_EQ(Registered(kClientKey), c.client_registered);
  }
}

TEST_F(ComServerRegistrationTest, AnotherEditionsDirectoryRegistersOnlyItsOwnServer) {
  // The foreign root has no VLMServ.exe; this product's server beside it must never be the one run.
  const Path foreign = machine_.In(L"Programs\\Pellucador_kta5");
  WriteBinaries(foreign, L"KolvSVC.exe");
  WriteBinaries(install_dir_, L"VLMServ.exe", 9);
  EXPECT_TRUE(RegisterComServers(engine_, foreign, "Pellucador"));
  std::wstring value;
  ASSERT_TRUE(ReadRegistryString(RegistryRoot::kLocalMachine, kClientKey, nullptr, &value));
  EXPECT_EQ(value, JoinPath(foreign, L"KolvC.dll"));

  ASSERT_EQ(platform::DeleteFileW(JoinPath(foreign, L"KolvSVC.exe")), 0u);
  ASSERT_TRUE(WriteTestFile(JoinPath(foreign, L"VLMServ.exe"), "#!/bin/sh\nexit 0\n"));
  EXPECT_FALSE(RegisterComServers(engine_, foreign, "Pellucador"));
  EXPECT_EQ(TakeLog(), "COM registration failed for Pellucador: a required x64 component is missing.\n");
}

TEST_F(ComServerRegistrationTest, AMissingRegsvr32IsAMissingComponentNotAnExitCode) {
  WriteBinaries(install_dir_, L"VLMServ.exe");
  ASSERT_EQ(platform::DeleteFileW(JoinPath(System32Dir(), L"regsvr32.exe")), 0u);
  EXPECT_FALSE(RegisterComServers(engine_, install_dir_, "Vellmora"));
  EXPECT_EQ(TakeLog(), "COM registration failed for Vellmora: a required x64 component is missing.\n");
  EXPECT_FALSE(Registered(kProxyKey));
}

}  // namespace
}  // namespace vellmora::testing
