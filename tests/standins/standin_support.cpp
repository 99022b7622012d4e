#include "standin_support.h"

#include <fstream>
#include <iterator>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/sync.h"

namespace standin_test {

std::string StandInBytes(const std::string& name) {
  std::ifstream file(std::string(VELLMORA_STANDINS_DIR) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

platform::Path PlaceBytes(const vellmora::testing::TestMachine& machine, const std::string& bytes,
                          const std::wstring& as) {
  platform::Path path = machine.In(as);
  return !bytes.empty() && vellmora::testing::WriteTestFile(path, bytes) ? path : platform::Path();
}

platform::Path PlaceStandIn(const vellmora::testing::TestMachine& machine, const std::string& name,
                            const std::wstring& as) {
  return PlaceBytes(machine, StandInBytes(name), as);
}

long RunAndWait(const std::wstring& command_line, std::uint32_t milliseconds,
                std::string* output) {
  platform::UniqueHandle read_end, write_end;
  if (platform::CreatePipe(true, &read_end, &write_end) != platform::kErrorSuccess) return -1;
  platform::StartupInfo startup;
  startup.use_std_handles = true;
  startup.std_output = startup.std_error = write_end.Get();
  platform::ProcessInformation child;
  const platform::Win32Error started =
      platform::CreateProcessW(command_line, true, platform::kCreateNoWindow, startup, &child);
  write_end.Reset();
  if (started != platform::kErrorSuccess) return -1;
  std::string text;
  char buffer[512];
  std::uint32_t got = 0;
  while (platform::ReadFile(read_end.Get(), buffer, sizeof buffer, &got) ==
             platform::kErrorSuccess && got > 0)
    text.append(buffer, got);
  if (output) *output = text;
  if (platform::WaitForSingleObject(child.process.Get(), milliseconds) != platform::kWaitObject0) {
    platform::TerminateProcess(child.process.Get(), 1);
    return -1;
  }
  std::uint32_t code = 0;
  platform::GetExitCodeProcess(child.process.Get(), &code);
  return static_cast<long>(code);
}

std::string Replaced(std::string bytes, const std::string& from, const std::string& to) {
  for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + 1))
    bytes.replace(at, from.size(), to);
  return bytes;
}

}  // namespace standin_test
