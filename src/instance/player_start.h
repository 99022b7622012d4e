#pragma once
// Starting the installed player with the Pie64 instance. The installer runs elevated, and a
// player started from it would run elevated too, writing the user's profile as administrator:
// the desktop's own shell starts it instead, as the signed-in user. Only where no desktop shell
// can take the request does the installer start it itself, and the log says so.

namespace vellmora {

class InstallerEngine;
class MachineOperationLock;

// Asks the shell to open "Vellmora.exe" with "--instance Pie64" in its folder, releases the lock
// as soon as the shell has answered, and logs the outcome. True when the shell took the request.
bool StartPlayer(InstallerEngine& engine, MachineOperationLock* machine_lock);

}  // namespace vellmora
