#pragma once
// The wizard thread's body: creates the window, runs the frame loop and returns when the window
// has been closed (or at once when it cannot be shown).

namespace vellmora {

void RunInstallerWindow();

}  // namespace vellmora
