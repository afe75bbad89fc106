// The fixed places of everything the updates install or keep, derived once from the game folder.
#pragma once

#include "core/file_system.h"

struct UpdatePaths {
    char game_folder[PATH_CAP];
    char updates_folder[PATH_CAP];  // game folder\ombrix_data\updates
    char bots_folder[PATH_CAP];     // game folder\ombrix_data\bot_takeover
    char runtime_folder[PATH_CAP];  // bots folder\jre
    char dll_path[PATH_CAP];        // game folder\d3d8.dll
    char launcher_path[PATH_CAP];   // the running launcher executable (set by start-up)
};

// Fills every path from the game folder (one trailing backslash removed) and creates the updates
// folder with every missing parent.
void update_paths_init(UpdatePaths* paths, const char* game_folder);
