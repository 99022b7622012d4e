#include <windows.h>

#include "app/entry.h"
#include "platform/win32/system_library.h"

// The GUI entry: Windows hands over the command line without the program name.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  platform::win32::RestrictDllSearchToSystemFolder();
  return vellmora::RunInstaller(command_line ? command_line : L"");
}
