// The player's server choice (zandor.ini [online] server).
#pragma once

// Reads [online] server of zandor.ini in the game folder into launcher.server_choice (and
// launcher.custom_server for a server set by hand). Gives the choice.
int read_server_choice();
// Saves choice 1 (the ZANDOR server) or 2 (any server); true when zandor.ini holds it afterwards.
// On failure the player is warned and server_choice keeps its earlier value.
bool save_server_choice(int choice);
// The two halves of save_server_choice, for a window that writes on a worker: the write with its
// patient retries, its read-back and its log line (any thread; changes no state), and the warning.
bool write_server_choice(int choice);
void warn_server_choice_not_saved();
// The log text of a choice: "none yet", "the ZANDOR server", "any server" or the custom server.
const char* server_choice_name();
