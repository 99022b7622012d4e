#include <windows.h>
#include <imagehlp.h>

#include "platform/image_help.h"
#include "platform/win32/system_library.h"

namespace platform {

// Imagehlp is loaded from the system folder at run time, as every library the installer needs
// beyond the few it imports.

bool CheckSumMappedFile(const void* base, std::uint32_t length, std::uint32_t* header_sum,
                        std::uint32_t* check_sum) {
  static const auto check_sum_mapped_file =
      win32::SystemFunction<decltype(&::CheckSumMappedFile)>(L"imagehlp.dll",
                                                             "CheckSumMappedFile");
  if (check_sum_mapped_file == nullptr) return false;
  DWORD stored = 0;
  DWORD computed = 0;
  if (check_sum_mapped_file(const_cast<void*>(base), length, &stored, &computed) == nullptr) {
    return false;
  }
  *header_sum = stored;
  *check_sum = computed;
  return true;
}

}  // namespace platform
