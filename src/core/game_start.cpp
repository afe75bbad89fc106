// Starting the game. The launcher does not wait for it.
#include "core/game_start.h"

#include <windows.h>

#include "core/file_system.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/message_box.h"
#include "core/text.h"
#include "core/text_table.h"

// The running game holds this mutex.
static const char GAME_MUTEX[] = "{87F2B5F7-09C3-4520-AB5E-16313ADB035B}";

static void (*start_status_hook)(const char* text);

void set_start_status_hook(void (*hook)(const char* text)) {
    start_status_hook = hook;
}

void take_start_step() {
    HWND window = (HWND)launcher.window;
    launcher.start_step_taken = true;

    if (launcher.player_message[0]) {
        log_line("told the player: %s", launcher.player_message);
        if (!launcher.play_game) {
            if (window) DestroyWindow(window);
            return;
        }
        show_message_box(window, launcher.player_message, MB_OK | MB_ICONINFORMATION);
    }
    if (launcher.play_game) {
        if (start_status_hook) start_status_hook(lookup_text("Starting the game..."));
        start_game();
    }
    if (window) DestroyWindow(window);
}

bool game_is_running() {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, GAME_MUTEX);
    if (!mutex) return false;
    CloseHandle(mutex);
    return true;
}

bool start_game() {
    HWND window = (HWND)launcher.window;
    char exe[PATH_CAP];
    join_path(exe, sizeof exe, launcher.update_paths.game_folder, "pes6.exe");
    if (!is_file(exe)) {
        show_message_box(window,
                         lookup_text("pes6.exe was not found. Put the ZANDOR Launcher in the game folder, next to pes6.exe."),
                         MB_OK | MB_ICONWARNING);
        return false;
    }
    SetEnvironmentVariableA("ZANDOR_LAUNCHER", "1");

    char command[264];
    format_text(command, sizeof command, "\"%s\"", exe);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(exe, command, nullptr, nullptr, FALSE, 0, nullptr, launcher.update_paths.game_folder,
                       &startup, &process)) {
        log_line("pes6.exe started (pid %lu)", process.dwProcessId);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return true;
    }
    DWORD error = GetLastError();
    char message[300];
    format_text(message, sizeof message, lookup_text("The game could not be started (error %lu)."), error);
    show_message_box(window, message, MB_OK | MB_ICONWARNING);
    return false;
}
