#pragma once
// The simulated machine's registry as a target for a COM stand-in's registration block: keys below
// HKEY_CLASSES_ROOT land in HKLM\SOFTWARE\Classes (64-bit view), as an elevated registration's do.

#include <string>

#include "standins/com_registration_block.h"

namespace sim::internal {

class SimRegistrationTarget : public standins::RegistrationTarget {
 public:
  bool SetString(const std::string& key, const std::string& value_name, const std::string& data,
                 std::string* error) override;
  bool DeleteTree(const std::string& key, std::string* error) override;
};

// The whole file at a Windows path, read through the machine; false when it cannot be read.
bool ReadMachineFile(const std::wstring& path, std::string* bytes);

}  // namespace sim::internal
