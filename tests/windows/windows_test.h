#pragma once
// The fixture of the Windows-integration tests: an InstallerEngine whose installation lives in
// the test's sandbox (<sandbox>\D\Vellmora, <sandbox>\D\ProgramData\Vellmora), the product's
// registry keys removed afterwards on both roots, and readers of a key's values in their stored
// order. On the simulated machine the clock is fake, so that the bounded service waits cost no
// real time.

#include <string>
#include <utility>
#include <vector>

#include "app/app_test.h"
#include "app/installer_engine.h"

namespace vellmora::testing {

// A value as "REG_SZ:<text>", "REG_DWORD:<number>" or "type <n>" for anything else.
using RegistryValues = std::vector<std::pair<std::wstring, std::wstring>>;

class WindowsTest : public AppTest {
 protected:
  WindowsTest();
  ~WindowsTest() override;

  // Every value of the key, in the order the registry enumerates them; empty for a missing key.
  static RegistryValues ValuesOf(RegistryRoot root, const wchar_t* key);
  // The values as ValuesOf lists them: in the given (creation) order, or under Wine, which
  // enumerates a key's values sorted by name, in that order.
  static RegistryValues AsEnumerated(RegistryValues values);
  // The visible log lines of the engine so far, joined with line breaks.
  std::string LogText();
  // For the steps that copy the running installer: ProgramData moves into the sandbox, and on
  // the simulated machine drive D: becomes the folder of the test executable, so that the running
  // module has a Windows path to be copied from.
  void UseRunningExecutableAsInstaller();

  InstallerEngine engine_;
};

}  // namespace vellmora::testing
