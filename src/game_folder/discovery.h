// Finding the game folder: beside the launcher, in the usual install folder, or among the candidates
// (the remembered folder and the installs the registry names) that the player confirms.
#pragma once

#include <stddef.h>

// The game folder (after the path rule) found without asking the player: the launcher's own folder
// or the usual install folder. Sets source to the text that says which; false when neither holds
// pes6.exe.
bool find_game_folder_at_once(const char* launcher_dir, char* folder, size_t cap, char* source, size_t source_cap);

// The first candidate: the remembered folder, then the registry's installs; false when none.
bool find_first_candidate(const char* launcher_dir, char* folder, size_t cap);

// The whole discovery: at once, else the folder page with the first candidate. False when the
// player gave up.
bool find_game_folder(const char* launcher_dir, char* folder, size_t cap, char* source, size_t source_cap);
