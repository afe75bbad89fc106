// Removing everything the launcher put on the PC, after the player's confirmation.
#pragma once

// Gives true when the uninstall ran (the caller then ends the launcher without starting the game),
// false when the game is running or the player declined.
bool uninstall();
