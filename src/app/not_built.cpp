#include "app/not_built.h"

#include <mutex>
#include <set>
#include <string>

#include "app/install_log.h"

namespace vellmora {

void LogNotBuiltOnce(const char* what, const char* consequence) {
  static std::mutex lock;
  static std::set<std::string> logged;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!logged.insert(what).second) return;
  }
  WriteDiagnostic(std::string(what) + " is not available in this build; " + consequence + ".");
}

}  // namespace vellmora
