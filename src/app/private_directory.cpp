#include "app/private_directory.h"

#include <string>

#include "platform/security.h"

namespace vellmora {

platform::Win32Error CheckOwnedByAdministrators(platform::RawHandle directory) {
  std::wstring owner;
  const platform::Win32Error error = platform::GetOwnerSid(directory, &owner);
  if (error != platform::kErrorSuccess) return error;
  if (owner != platform::kLocalSystemSid && owner != platform::kAdministratorsSid) {
    return platform::kErrorInvalidOwner;
  }
  return platform::kErrorSuccess;
}

}  // namespace vellmora
