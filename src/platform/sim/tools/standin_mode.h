#pragma once
// The Engine's PE stand-ins on a simulated machine, which cannot execute PE images: the sim's
// CreateProcessW runs "sim-system-tool --standin <image> <command line>" instead, and this does
// what the stand-in would. The player ("Vellmora.exe") appends its command line to
// player-starts.txt beside it and lingers for the seconds player-linger.txt there names; the COM
// server ("KolvSVC.exe", "VLMServ.exe") applies or removes the registration block in its own
// file for "-regserver" / "-unregserver"; every other image exits with 0.

#include <string>

namespace sim::internal {

int RunStandIn(const std::wstring& image, const std::wstring& command_line);

}  // namespace sim::internal
