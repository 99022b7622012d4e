// A test-only program that installs the installer's crash filter and then crashes, so that the
// crash record can be checked from outside.

#include "app/crash_log.h"
#include "platform/system.h"

namespace {

int CrashNow() {
  platform::SetUnhandledExceptionFilter(vellmora::WriteCrashLog);
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain() { return CrashNow(); }
#else
int main() { return CrashNow(); }
#endif
