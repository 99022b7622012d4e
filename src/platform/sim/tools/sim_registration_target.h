#pragma once
// The simulated machine's side of the COM stand-ins' self-registration: a registration block
// applied to HKLM\SOFTWARE\Classes in the 64-bit view (where an elevated registration through
// HKEY_CLASSES_ROOT lands), through the machine's own registry. Used by its regsvr32 and by the
// stand-ins' fakes.

#include <string>

#include "standins/com_registration_block.h"

namespace sim::internal {

class SimRegistrationTarget : public standins::RegistrationTarget {
 public:
  bool SetString(const std::string& key, const std::string& value_name, const std::string& data,
                 std::string* error) override;
  bool DeleteTree(const std::string& key, std::string* error) override;
};

// The whole file at a Windows path; false when it cannot be read.
bool ReadMachineFile(const std::wstring& path, std::string* image);

}  // namespace sim::internal
