// VellmoraSetup.exe started from a folder that holds a planted DLL under the name of every system
// library it uses that is not a known DLL: none of them may load, neither through the import
// table nor through a run-time load.

#include <gtest/gtest.h>

#include <string>

#include "app/text.h"
#include "platform/files.h"
#include "support/child_process.h"
#include "support/test_machine.h"

#if !VELLMORA_PLATFORM_SIM
#include <windows.h>
#endif

namespace vellmora::testing {
namespace {

// The DLL search order is Windows' own: the suite holds this test only in the Windows build.
#if !VELLMORA_PLATFORM_SIM

// shcore.dll is left out: it is on Windows' known-DLL list, but Wine resolves the imports of its own
// shell32 through the program's folder first, so a planted shcore.dll loads there under Wine only.
constexpr const wchar_t* kPlantedNames[] = {L"d3d11.dll",   L"dxgi.dll",     L"d3dcompiler_47.dll",
                                            L"dwmapi.dll",  L"winhttp.dll",  L"version.dll",
                                            L"iphlpapi.dll", L"uxtheme.dll", L"xinput1_4.dll"};

platform::Path WindowsPathOf(const char* build_path) { return FromUtf8(BuiltExecutable(build_path)); }

bool Exists(const platform::Path& path) {
  return platform::GetFileAttributesW(path) != platform::kInvalidFileAttributes;
}

class DllPlanting : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = machine_.In(L"Downloads");
    ASSERT_TRUE(MakeTestDirectories(folder_));
    setup_ = folder_ + L"\\VellmoraSetup.exe";
    ASSERT_EQ(platform::CopyFileW(WindowsPathOf(VELLMORA_SETUP_EXE), setup_, false), platform::kErrorSuccess);
    for (const wchar_t* name : kPlantedNames) {
      ASSERT_EQ(platform::CopyFileW(WindowsPathOf(VELLMORA_PLANTED_DLL), folder_ + L"\\" + name, false),
                platform::kErrorSuccess);
    }
  }

  TestMachine machine_;
  platform::Path folder_;
  platform::Path setup_;
};

TEST_F(DllPlanting, ThePlantedDllLeavesItsMarkWhenLoaded) {
  // The control: the stand-in does what the test relies on when it is loaded.
  const platform::Path control = folder_ + L"\\planted-control.dll";
  ASSERT_EQ(platform::CopyFileW(WindowsPathOf(VELLMORA_PLANTED_DLL), control, false), platform::kErrorSuccess);
  HMODULE loaded = ::LoadLibraryW(control.c_str());
  ASSERT_NE(loaded, nullptr);
  ::FreeLibrary(loaded);
  EXPECT_TRUE(Exists(control + L".loaded"));
}

TEST_F(DllPlanting, NoPlantedDllLoadsIntoTheInstaller) {
  for (const wchar_t* command_line : {L"", L"--install-all C:", L"--debug-registry C:"}) {
    ChildResult result = RunChild(ToUtf8(setup_), command_line, "");
    ASSERT_TRUE(result.finished) << ToUtf8(command_line);
    for (const wchar_t* name : kPlantedNames) {
      EXPECT_FALSE(Exists(folder_ + L"\\" + name + L".loaded"))
          << ToUtf8(name) << " was loaded from the installer's folder (" << ToUtf8(command_line) << ")";
    }
  }
}

#endif

}  // namespace
}  // namespace vellmora::testing
