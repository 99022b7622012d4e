#pragma once
// The process entry shared by both platforms: the platform's wWinMain (or main, on the simulated
// machine) hands over the command line after the program name and returns what this returns.

#include <string>

namespace vellmora {

int RunInstaller(const std::wstring& command_line);

}  // namespace vellmora
