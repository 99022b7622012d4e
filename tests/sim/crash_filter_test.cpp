// The last-chance exception filter: which Windows exception each crash becomes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <functional>
#include <stdexcept>

#include "fork_child.h"
#include "platform/system.h"

namespace {

using namespace platform;

// The child reports what its filter saw through a pipe.
int g_report_fd = -1;

struct Report {
  bool has_record = false;
  std::uint32_t code = 0;
  bool has_address = false;
};

long ReportingFilter(const ExceptionDetails& details) {
  Report report{details.has_record, details.code, details.address != nullptr};
  ssize_t ignored = write(g_report_fd, &report, sizeof report);
  (void)ignored;
  return kExceptionExecuteHandler;
}

// The crashes are on purpose; the undefined-behaviour sanitizer need not report them.
__attribute__((no_sanitize("undefined"))) void WriteThroughNull() {
  volatile int* nowhere = nullptr;
  *nowhere = 1;
}

__attribute__((no_sanitize("undefined"))) void DivideByZero() {
  // Both operands unknown, so that the compiler must emit a real division.
  volatile int numerator = 7;
  volatile int zero = 0;
  volatile int result = numerator / zero;
  (void)result;
}

void Throw() { throw std::runtime_error("nobody catches this"); }
// An exception that leaves a noexcept function ends in std::terminate.
void ThrowThroughNoexcept() noexcept { Throw(); }

TEST(SimCrashFilter, CrashesBecomeWindowsExceptionsAndEndTheProcessWithTheirCode) {
  struct Case {
    const char* label;
    std::function<void()> crash;
    bool reaches_filter;
    std::uint32_t code;  // the exception, or the exit code when the filter never hears of it
  } cases[] = {
      {"null write", WriteThroughNull, true, 0xC0000005},
      {"integer division by zero", DivideByZero, true, 0xC0000094},
      // Neither raises an exception on Windows: the C runtime ends the process with 3.
      {"abort", [] { std::abort(); }, false, 3},
      {"terminate", [] { ThrowThroughNoexcept(); }, false, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    auto result = sim_tests::RunInChild([&] {
      close(pipe_fds[0]);
      g_report_fd = pipe_fds[1];
      SetUnhandledExceptionFilter(ReportingFilter);
      c.crash();
      return 0;
    });
    close(pipe_fds[1]);
    Report report;
    ssize_t got = read(pipe_fds[0], &report, sizeof report);
    close(pipe_fds[0]);
    if (c.reaches_filter) {
      ASSERT_EQ(got, static_cast<ssize_t>(sizeof report));
      EXPECT_TRUE(report.has_record);
      EXPECT_EQ(report.code, c.code);
      EXPECT_TRUE(report.has_address);
    } else {
      EXPECT_EQ(got, 0) << "the filter was called";
    }
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.code, static_cast<int>(c.code & 0xFF));
  }
}

}  // namespace
