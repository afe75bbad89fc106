// The fixed places of everything the updates install or keep, derived once from the game folder.
#pragma once

#include "core/game_paths.h"

// Fills every path from the game folder (one trailing backslash removed) and creates the updates
// folder with every missing parent.
void update_paths_init(UpdatePaths* paths, const char* game_folder);
