#include "support/service_records.h"

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/services.h"
#include "platform/sync.h"

#if VELLMORA_PLATFORM_SIM
#include "platform/sim/sim_control.h"
#endif

namespace vellmora::testing {

bool CreateKernelDriverRecord(const std::wstring& name, const std::wstring& image_path) {
#if VELLMORA_PLATFORM_SIM
  sim::ServiceRecord record;
  record.name = name;
  record.image_path = image_path;
  sim::AddService(record);
  return true;
#else
  std::wstring sc = platform::GetSystemDirectoryW() + L"\\sc.exe";
  std::wstring quoted_path;
  for (wchar_t c : image_path) {
    if (c == L'"') quoted_path += L'\\';
    quoted_path += c;
  }
  std::wstring command =
      L"\"" + sc + L"\" create " + name + L" type= kernel binPath= \"" + quoted_path + L"\"";
  platform::StartupInfo startup;
  platform::ProcessInformation process;
  if (platform::CreateProcessW(command, false, platform::kCreateNoWindow, startup, &process) !=
      platform::kErrorSuccess) {
    return false;
  }
  if (platform::WaitForSingleObject(process.process.Get(), 30000) != platform::kWaitObject0) {
    platform::TerminateProcess(process.process.Get(), 1);
    return false;
  }
  std::uint32_t exit_code = 1;
  platform::GetExitCodeProcess(process.process.Get(), &exit_code);
  return exit_code == 0;
#endif
}

void DeleteServiceRecord(const std::wstring& name) {
  platform::ServiceHandle manager;
  if (platform::OpenSCManagerW(platform::kScManagerConnect, &manager) != platform::kErrorSuccess) {
    return;
  }
  platform::ServiceHandle service;
  if (platform::OpenServiceW(manager, name, platform::kServiceDelete, &service) ==
      platform::kErrorSuccess) {
    platform::DeleteService(service);
  }
}

}  // namespace vellmora::testing
