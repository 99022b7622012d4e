#include "platform/sim/tools/standin_mode.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/files.h"
#include "platform/sim/command_line.h"
#include "platform/sim/text.h"
#include "platform/sim/tools/sim_registration_target.h"
#include "platform/system.h"

namespace sim::internal {
namespace {

std::wstring DirectoryOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

int RunPlayer(const std::wstring& image, const std::wstring& command_line) {
  const std::wstring directory = DirectoryOf(image);
  const std::string line = ToUtf8(command_line) + "\n";
  platform::UniqueHandle starts;
  if (platform::CreateFileW(directory + L"\\player-starts.txt", platform::kFileAppendData,
                            platform::kShareRead, platform::kOpenAlways, 0,
                            &starts) == platform::kErrorSuccess) {
    std::uint32_t written = 0;
    platform::WriteFile(starts.Get(), line.data(), static_cast<std::uint32_t>(line.size()),
                        &written);
  }
  std::string linger;
  long seconds = 0;
  if (ReadMachineFile(directory + L"\\player-linger.txt", &linger))
    seconds = std::strtol(linger.c_str(), nullptr, 10);
  if (seconds > 0 && seconds < 3600) platform::Sleep(static_cast<std::uint32_t>(seconds) * 1000);
  return 0;
}

bool HasSwitch(const std::vector<std::wstring>& arguments, const std::wstring& name) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (!argument.empty() && (argument[0] == L'-' || argument[0] == L'/') &&
        EqualsIgnoringCase(argument.substr(1), name))
      return true;
  }
  return false;
}

int RunServer(const std::wstring& image, const std::wstring& command_line) {
  const std::vector<std::wstring> arguments = SplitCommandLine(command_line);
  const bool install = HasSwitch(arguments, L"regserver");
  if (!install && !HasSwitch(arguments, L"unregserver")) return 0;
  std::string bytes;
  std::string error = "cannot read the module's own file";
  SimRegistrationTarget registry;
  const bool done =
      ReadMachineFile(image, &bytes) &&
      (install ? standins::RegisterFromImage(bytes, ToUtf8(image), &registry, &error)
               : standins::UnregisterFromImage(bytes, &registry, &error));
  if (done) return 0;
  std::fprintf(stderr, "%s: %s\n", ToUtf8(image).c_str(), error.c_str());
  return 1;
}

}  // namespace

int RunStandIn(const std::wstring& image, const std::wstring& command_line) {
  const std::wstring name = image.substr(image.rfind(L'\\') + 1);
  if (EqualsIgnoringCase(name, L"Vellmora.exe")) return RunPlayer(image, command_line);
  if (EqualsIgnoringCase(name, L"KolvSVC.exe") || EqualsIgnoringCase(name, L"VLMServ.exe"))
    return RunServer(image, command_line);
  return 0;
}

}  // namespace sim::internal
