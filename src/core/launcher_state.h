// The process-wide state of the launcher core, filled by the main sequence and read by the other
// subsystems. The main thread (start-up, then the window) writes every field except two that the
// update worker writes while it runs: update_ok and player_message. The window reads those only
// after the worker set update_done (updates/update_worker.h); start_update_run clears update_ok before
// it starts a worker.
#pragma once

#include "core/file_system.h"
#include "core/game_paths.h"

enum ServerChoice { SERVER_NOT_CHOSEN = 0, SERVER_ZANDOR = 1, SERVER_ANY = 2, SERVER_CUSTOM = 3 };

struct LauncherState {
    char launcher_exe[PATH_CAP];
    char launcher_dir[PATH_CAP];
    bool play_game;
    bool uninstall;
    char folder_source[128];
    UpdatePaths update_paths;
    char settings_path[PATH_CAP];
    char migration_note[200];
    char folder_note[300];
    char own_version[32];
    char account_host[128];
    char boot_note[300];
    int server_choice;
    char custom_server[128];
    char update_host[128];
    char update_channel[32];
    char player_message[700];  // written by the update worker (the D3D8 hand-over)
    bool update_checked;
    bool update_ok;  // written by the update worker
    bool start_step_taken;
    void* window;  // the main window (HWND) once it exists
};

extern LauncherState launcher;

// Puts the state back to its start values (play_game on, folder_source "given on the command line").
void launcher_state_reset();
