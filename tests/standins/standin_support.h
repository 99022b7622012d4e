#pragma once
// The built PE stand-ins, as tests place and run them on the machine under test.

#include <string>

#include "platform/types.h"
#include "support/test_machine.h"

namespace standin_test {

// The bytes of a built stand-in (VELLMORA_STANDINS_DIR); empty when it is not there.
std::string StandInBytes(const std::string& name);
// Writes a stand-in's bytes (or the given ones) into the machine's sandbox as `as`.
platform::Path PlaceStandIn(const vellmora::testing::TestMachine& machine, const std::string& name,
                            const std::wstring& as);
platform::Path PlaceBytes(const vellmora::testing::TestMachine& machine, const std::string& bytes,
                          const std::wstring& as);
// Runs a command line through the seam and waits for it; the exit code, or -1 when it did not
// start or end within the time.
// What it printed goes to *output.
long RunAndWait(const std::wstring& command_line, std::uint32_t milliseconds = 60000,
                std::string* output = nullptr);
// Every occurrence of from replaced by to (same length), as the identity isolation does.
std::string Replaced(std::string bytes, const std::string& from, const std::string& to);

}  // namespace standin_test
