// The record of the fixed places derived from the game folder (made by updates/update_paths.h),
// here so that the launcher's own state can hold it without depending on the updates.
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
