#pragma once
// The machine a test runs against. On the simulated platform every TestMachine is a fresh machine
// of its own; on Windows (or Wine) it is the real machine, and the test gets a fresh sandbox folder
// and a scratch registry key that are removed afterwards.

#include <string>

#include "platform/types.h"

namespace vellmora::testing {

class TestMachine {
 public:
  TestMachine();
  ~TestMachine();
  TestMachine(const TestMachine&) = delete;
  TestMachine& operator=(const TestMachine&) = delete;

  static bool IsSimulated();

  // An empty directory that belongs to this test, without a trailing backslash.
  const platform::Path& Sandbox() const { return sandbox_; }
  // Sandbox() joined with a relative name.
  platform::Path In(const std::wstring& relative) const;
  // A sub-key of HKEY_CURRENT_USER (no leading backslash) that belongs to this test.
  const std::wstring& ScratchKey() const { return scratch_key_; }
  // The simulated machine's root folder on the host; empty on Windows.
  const std::string& SimRoot() const { return sim_root_; }

 private:
  platform::Path sandbox_;
  std::wstring scratch_key_;
  std::string sim_root_;
};

// Test-side file helpers that go through the seam, so that they work on both platforms.
bool WriteTestFile(const platform::Path& path, const std::string& content);
bool ReadTestFile(const platform::Path& path, std::string* content);
bool MakeTestDirectories(const platform::Path& path);
// Removes a tree without following links (a link is removed itself).
void RemoveTestTree(const platform::Path& path);

// The directory of the running test executable, as the platform names it (for starting siblings).
std::string TestExecutableDirectory();
void SetTestExecutablePath(const char* argv0);

}  // namespace vellmora::testing
