// Removing everything the launcher put on the PC, after the player's confirmation.
#pragma once

// The uninstall of "--uninstall" (no window): asks, removes and tells. Gives true when it ran (the
// caller then ends the launcher), false when the game is running or the player declined.
bool uninstall();
// Hooks "Uninstall ZANDOR" of the window to the uninstall. From the window, the removal (with its
// waits for the account worker, the update worker and the LOGOUT exchange) runs on a worker while
// the window shows it is busy; the countdown holds from the first box on. After Yes the summary
// stays until the player closes it and the launcher ends without starting the game; after No the
// window goes on as before.
void uninstall_attach();
