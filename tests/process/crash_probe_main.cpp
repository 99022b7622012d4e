// A test-only program that installs the installer's crash handlers as the entry does and then
// crashes, so that the crash record can be checked from outside.
//   crash_probe null-write          a null write on the main thread
//   crash_probe thread-null-write   a null write on a second thread
//   crash_probe thread-throw        an exception that escapes a second thread
// Before crashing it writes the main thread's id to "crash-probe-main-thread.txt" in the
// temporary directory, so that the test can tell which thread the record names.

#include <stdexcept>
#include <string>
#include <thread>

#include "app/crash_log.h"
#include "app/file_helpers.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "platform/system.h"

namespace {

// The pointer itself is volatile: a compiler that could see it is null would treat the write as
// unreachable and drop the call to this function altogether.
int* volatile g_nowhere = nullptr;

void WriteThroughNull() { *g_nowhere = 1; }

int CrashNow(const std::wstring& command_line) {
  vellmora::InstallCrashHandlers();
  std::wstring mode = vellmora::TrimWhitespace(command_line);
  vellmora::ReplaceFileAtomically(vellmora::TemporaryDirectory() + L"crash-probe-main-thread.txt",
                                  std::to_string(platform::GetCurrentThreadId()));
  if (mode == L"null-write") WriteThroughNull();
  if (mode == L"thread-null-write") std::thread(WriteThroughNull).join();
  if (mode == L"thread-throw") {
    std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
  }
  return 2;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return CrashNow(argc > 1 ? argv[1] : L""); }
#else
int main(int argc, char** argv) { return CrashNow(argc > 1 ? vellmora::FromUtf8(argv[1]) : L""); }
#endif
