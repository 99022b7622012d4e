#include "platform/sim/tools/regsvr32.h"

#include "platform/sim/tools/sim_registration_target.h"
#include "platform/paths.h"
#include "platform/sim/text.h"

namespace sim::internal {

int RunRegsvr32(const std::vector<std::wstring>& arguments, std::string* output) {
  bool unregister = false;
  std::wstring library;
  for (const std::wstring& argument : arguments) {
    if (EqualsIgnoringCase(argument, L"/s") || EqualsIgnoringCase(argument, L"-s")) continue;
    if (EqualsIgnoringCase(argument, L"/u") || EqualsIgnoringCase(argument, L"-u")) {
      unregister = true;
    } else if (!argument.empty() && (argument[0] == L'/' || argument[0] == L'-')) {
      *output += "regsvr32: unrecognised flag " + ToUtf8(argument) + "\r\n";
      return 1;
    } else if (library.empty()) {
      library = argument;
    } else {
      *output += "regsvr32: more than one library\r\n";
      return 1;
    }
  }
  if (library.empty()) {
    *output += "regsvr32: no library named\r\n";
    return 1;
  }
  std::wstring module_path;
  std::string image;
  if (platform::GetFullPathNameW(library, &module_path) != platform::kErrorSuccess ||
      !ReadMachineFile(module_path, &image)) {
    *output += "The module \"" + ToUtf8(library) + "\" failed to load.\r\n";
    return 3;
  }
  std::string_view block;
  std::string error;
  if (!standins::FindRegistrationBlock(image, &block, &error)) {
    *output += "The module \"" + ToUtf8(library) + "\" was loaded but the entry-point " +
               (unregister ? "DllUnregisterServer" : "DllRegisterServer") +
               " was not found.\r\n";
    return 4;
  }
  SimRegistrationTarget target;
  const bool done = unregister ? standins::UnregisterFromImage(image, &target, &error)
                               : standins::RegisterFromImage(image, ToUtf8(module_path), &target,
                                                             &error);
  if (!done) {
    *output += "The call to " +
               std::string(unregister ? "DllUnregisterServer" : "DllRegisterServer") +
               " failed: " + error + "\r\n";
    return 5;
  }
  return 0;
}

}  // namespace sim::internal
