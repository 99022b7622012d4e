// "Vellmora.exe", the player: appends the command line it received, in UTF-8 and with a line
// feed, to "player-starts.txt" beside itself, then lingers for the seconds "player-linger.txt"
// there names (none when it is absent or unreadable) and exits with 0.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "identities.h"
#include "self_registration.h"

namespace {

std::wstring OwnDirectory() {
  std::wstring path = standins::ModulePath(nullptr);
  return path.substr(0, path.find_last_of(L"\\/"));
}

DWORD LingerSeconds(const std::wstring& directory) {
  FILE* file = _wfopen((directory + L"\\player-linger.txt").c_str(), L"rb");
  if (!file) return 0;
  char text[32] = {};
  std::size_t got = std::fread(text, 1, sizeof(text) - 1, file);
  std::fclose(file);
  text[got] = '\0';
  long seconds = std::strtol(text, nullptr, 10);
  return seconds > 0 && seconds < 3600 ? static_cast<DWORD>(seconds) : 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The player holds the client interface's identity; reading it keeps it in the image.
  volatile unsigned long identity = kClientIid.Data1;
  (void)identity;
  const std::wstring directory = OwnDirectory();
  const std::string line = standins::ToUtf8(GetCommandLineW()) + "\n";
  if (FILE* starts = _wfopen((directory + L"\\player-starts.txt").c_str(), L"ab")) {
    std::fwrite(line.data(), 1, line.size(), starts);
    std::fclose(starts);
  }
  Sleep(LingerSeconds(directory) * 1000);
  return 0;
}
