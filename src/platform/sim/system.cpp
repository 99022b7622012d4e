#include "platform/system.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <random>

#include "platform/sim/machine.h"
#include "platform/sim/sim_control.h"

namespace platform {
namespace {

constexpr std::uint32_t kAccessViolation = 0xC0000005;
constexpr std::uint32_t kIllegalInstruction = 0xC000001D;
constexpr std::uint32_t kIntegerDivideByZero = 0xC0000094;
// abort() raises no exception on Windows: the C runtime ends the process with exit code 3, and
// the unhandled-exception filter never hears of it.
constexpr int kAbortExitCode = 3;
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};

std::atomic<UnhandledExceptionFilter> g_filter{nullptr};
std::atomic<bool> g_in_filter{false};

// The test clock (sim::UseFakeClock): Sleep moves it on instead of waiting.
std::atomic<bool> g_fake_clock{false};
std::atomic<std::uint64_t> g_fake_ticks{0};

std::uint32_t CodeOf(int signal_number) {
  switch (signal_number) {
    case SIGSEGV:
    case SIGBUS: return kAccessViolation;
    case SIGILL: return kIllegalInstruction;
    default: return kIntegerDivideByZero;
  }
}

// ExceptionAddress is the faulting instruction, which the signal context holds.
const void* FaultingAddress(const siginfo_t* info, void* context) {
  const auto* user = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  if (user) return reinterpret_cast<const void*>(user->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  if (user) return reinterpret_cast<const void*>(user->uc_mcontext.pc);
#endif
  return info ? info->si_addr : nullptr;
}

// Runs the filter once; an exception inside the filter ends the process at once.
[[noreturn]] void EndThroughFilter(const ExceptionDetails& details) {
  if (!g_in_filter.exchange(true)) {
    if (UnhandledExceptionFilter filter = g_filter.load()) filter(details);
  }
  // Windows ends the process with the exception code as its exit code.
  _exit(static_cast<int>(details.code));
}

void OnCrashSignal(int signal_number, siginfo_t* info, void* context) {
  ExceptionDetails details;
  details.has_record = true;
  details.code = CodeOf(signal_number);
  details.address = FaultingAddress(info, context);
  EndThroughFilter(details);
}

void OnAbort(int) { _exit(kAbortExitCode); }

std::uint64_t RealTickCount64() {
  // Boot time, like Windows' tick count, keeps counting across a suspend.
  struct timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000 +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

// A stack overflow leaves no stack for the handler: this thread gets one of its own.
void InstallAlternateStack() {
  // Kept for the life of the thread (a signal may come at any time until it ends).
  thread_local char* alternate_stack = nullptr;
  if (alternate_stack) return;
  constexpr size_t kSize = 256 * 1024;
  alternate_stack = new char[kSize];
  stack_t stack{};
  stack.ss_sp = alternate_stack;
  stack.ss_size = kSize;
  sigaltstack(&stack, nullptr);
}

}  // namespace

std::uint32_t GetCurrentProcessId() { return static_cast<std::uint32_t>(getpid()); }

std::uint32_t GetCurrentThreadId() { return static_cast<std::uint32_t>(gettid()); }

SystemTime GetLocalTime() {
  struct timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm local{};
  localtime_r(&now.tv_sec, &local);
  SystemTime time;
  time.year = static_cast<std::uint16_t>(local.tm_year + 1900);
  time.month = static_cast<std::uint16_t>(local.tm_mon + 1);
  time.day_of_week = static_cast<std::uint16_t>(local.tm_wday);
  time.day = static_cast<std::uint16_t>(local.tm_mday);
  time.hour = static_cast<std::uint16_t>(local.tm_hour);
  time.minute = static_cast<std::uint16_t>(local.tm_min);
  time.second = static_cast<std::uint16_t>(local.tm_sec);
  time.milliseconds = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
  return time;
}

std::uint64_t GetTickCount64() {
  return g_fake_clock.load() ? g_fake_ticks.load() : RealTickCount64();
}

void Sleep(std::uint32_t milliseconds) {
  if (g_fake_clock.load()) {
    g_fake_ticks += milliseconds;
    return;
  }
  struct timespec wait{};
  wait.tv_sec = milliseconds / 1000;
  wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000;
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

Win32Error CoCreateGuid(Guid* guid) {
  unsigned char bytes[16];
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    std::random_device device;
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(device());
  }
  guid->data1 = static_cast<std::uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 |
                bytes[3];
  guid->data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
  // Version 4 (random) in the top nibble of data3, the RFC 4122 variant in data4[0].
  guid->data3 = static_cast<std::uint16_t>(((bytes[6] << 8 | bytes[7]) & 0x0FFF) | 0x4000);
  for (int i = 0; i < 8; ++i) guid->data4[i] = bytes[8 + i];
  guid->data4[0] = static_cast<std::uint8_t>((guid->data4[0] & 0x3F) | 0x80);
  return kErrorSuccess;
}

// The simulated machine registers no ProgIDs, so only the braced form parses.
Win32Error CLSIDFromString(const std::wstring& text, Guid* guid) {
  if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return kErrorClassString;
  std::uint8_t digits[32];
  std::size_t count = 0;
  for (std::size_t i = 1; i < 37; ++i) {
    const wchar_t c = text[i];
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (c != L'-') return kErrorClassString;
      continue;
    }
    if (c >= L'0' && c <= L'9') digits[count++] = static_cast<std::uint8_t>(c - L'0');
    else if (c >= L'A' && c <= L'F') digits[count++] = static_cast<std::uint8_t>(c - L'A' + 10);
    else if (c >= L'a' && c <= L'f') digits[count++] = static_cast<std::uint8_t>(c - L'a' + 10);
    else return kErrorClassString;
  }
  auto value = [&](std::size_t from, std::size_t n) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < n; ++k) v = v << 4 | digits[from + k];
    return v;
  };
  guid->data1 = value(0, 8);
  guid->data2 = static_cast<std::uint16_t>(value(8, 4));
  guid->data3 = static_cast<std::uint16_t>(value(12, 4));
  for (std::size_t k = 0; k < 8; ++k) guid->data4[k] = static_cast<std::uint8_t>(value(16 + 2 * k, 2));
  return kErrorSuccess;
}

void OutputDebugStringA(const std::string& text) {
  std::string path = sim::internal::Root() + "/debug-output.txt";
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;  // nobody is listening: Windows drops the text too
  size_t done = 0;
  while (done < text.size()) {
    ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) break;
    done += static_cast<size_t>(wrote);
  }
  close(fd);
}

void SetUnhandledExceptionFilter(UnhandledExceptionFilter filter) {
  g_filter.store(filter);
  if (!filter) {
    for (int signal_number : kCrashSignals) ::signal(signal_number, SIG_DFL);
    ::signal(SIGABRT, SIG_DFL);
    return;
  }
  InstallAlternateStack();
  struct sigaction action{};
  action.sa_sigaction = OnCrashSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int signal_number : kCrashSignals) sigaction(signal_number, &action, nullptr);
  ::signal(SIGABRT, OnAbort);
}

}  // namespace platform

namespace sim {

void UseFakeClock(bool on) {
  if (on && !platform::g_fake_clock.load()) platform::g_fake_ticks = platform::RealTickCount64();
  platform::g_fake_clock = on;
}

}  // namespace sim
