#pragma once
// The fixture of the COM registration tests: the installed binaries, what their
// self-registration writes for the private identities (the 224 proxied interfaces, ProgIDs,
// application ids), the side-by-side edition's shared registration, and a dump of registry trees
// for before-and-after comparisons. Every key the tests write is removed afterwards, so that a
// Wine prefix starts each test clean.

#include <string>
#include <string_view>

#include "windows/windows_test.h"

namespace vellmora::testing {

// The private interface id of an original one ("{...}", upper case): the original's binary form
// XOR the identity mask.
std::wstring PrivateIid(std::string_view original);

// The bytes of a built PE stand-in; empty when it is not there.
std::string StandInBytes(const std::string& name);

class ComRegistrationTest : public WindowsTest {
 protected:
  ComRegistrationTest();
  ~ComRegistrationTest() override;

  // "VLMServ.exe", "KolvC.dll" and "KolvProxyStub.dll" as files in the install directory.
  void InstallBinaries();
  // What the patched binaries register for themselves, under HKLM's classes, for the first
  // interface_count of the proxy's interfaces.
  void WriteSelfRegistration(std::size_t interface_count = 224);
  // InstallBinaries, WriteSelfRegistration and the installer's class paths: a complete
  // registration.
  void WriteCompleteRegistration();
  // HKCU\Software\Classes\<key> default value.
  void WriteUserClassValue(const std::wstring& key, const std::wstring& data);
  // HKLM\SOFTWARE\Classes\<key> default value (or a named one).
  void WriteMachineClassValue(const std::wstring& key, const std::wstring& data,
                              const wchar_t* value = nullptr);

  // The Engine's programs in the install directory, isolated as the Engine procedure does;
  // server is the stand-in that becomes "VLMServ.exe".
  void InstallIsolatedEngine(const std::string& server = "KolvSVC.exe");
  // The built stand-ins placed in directory (emptied first) and isolated; the isolation's result.
  bool IsolateEngineInto(const Path& directory, const std::string& server);

  // The visible log lines since the last call, each followed by a line break.
  std::string TakeLog();

  // Every key, value type and value byte below root\key (both HKLM views for HKLM), as text.
  static std::string Dump(RegistryRoot root, const std::wstring& key);

  std::wstring install_dir_;
};

}  // namespace vellmora::testing
