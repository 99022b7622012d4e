#pragma once
// Windows command lines: how a program's command line splits into arguments
// (CommandLineToArgvW's rules), and how the sim hands drive paths in them to a host program.

#include <string>
#include <vector>

namespace sim::internal {

// The first argument ends at the next quote when it starts with one, else at white space, and
// takes backslashes literally; later arguments follow the backslash-and-quote rules (2n
// backslashes before a quote give n and the quote delimits, 2n+1 give n and a literal quote, a
// doubled quote inside a quoted run is a literal quote).
std::vector<std::wstring> SplitCommandLine(const std::wstring& command_line);

// The argument with its first drive path of the machine (X:\ or X:/ after any prefix, such as
// 7-Zip's "-o") turned into the host path behind it; unchanged when it holds none.
std::string HostArgument(const std::wstring& argument);

}  // namespace sim::internal
