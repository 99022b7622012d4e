#include "instance/guid_digits.h"

#include "app/system_helpers.h"

namespace vellmora {

std::string NewGuidDigits() {
  std::string digits;
  for (wchar_t c : NewGuidString(false)) {
    if (c != L'-') digits.push_back(static_cast<char>(c));
  }
  return digits;
}

}  // namespace vellmora
