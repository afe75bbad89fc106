// The process-wide state of the launcher core, filled by the main sequence and read by the other
// subsystems. Written on the main thread only.
#pragma once

#include "updates/update_paths.h"

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
    char player_message[700];
    bool update_checked;
    bool update_ok;
    bool start_step_taken;
    void* window;  // the main window (HWND) once it exists
};

extern LauncherState launcher;

// Puts the state back to its start values (play_game on, folder_source "given on the command line").
void launcher_state_reset();
