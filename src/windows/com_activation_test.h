#pragma once
// The real activation of the private VirtualBox server: what the player will do, done once by the
// installer to prove the registration. The server it starts counts as a running product for the
// instance checks, so the test releases everything and waits (a few seconds at most) until
// "VLMServ.exe" from the install directory has ended before it returns.

namespace vellmora {

class InstallerEngine;

// How long the test waits for the server it started to end.
inline constexpr unsigned kComServerExitWaitMs = 5000;

// Activates the private server class as a local server and asks it for the private IVirtualBox
// interface; one log line with the result. COM is initialised for the test only; a thread that
// already chose the single-threaded model keeps it (and COM stays initialised).
bool TestPrivateComActivation(InstallerEngine& engine);

}  // namespace vellmora
