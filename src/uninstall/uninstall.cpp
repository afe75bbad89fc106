// The uninstall: the ZANDOR client DLL (giving another program's set-aside D3D8.dll its name back),
// the settings, the update files, the bot program and its Java, the saved log-in and the PC marker,
// and finally the launcher file itself. The game's own files are never touched.
#include "uninstall/uninstall.h"

#include <windows.h>
#include <string.h>

#include "account/account_address.h"
#include "account/account_files.h"
#include "account/account_requests.h"
#include "account/login_flow.h"
#include "account/login_state.h"
#include "build_config.h"
#include "core/detached_command.h"
#include "core/file_system.h"
#include "core/file_tree.h"
#include "core/folder_path.h"
#include "core/game_start.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/message_box.h"
#include "core/text.h"
#include "core/text_table.h"
#include "game_setup/d3d8_placement.h"
#include "ui/busy_action.h"
#include "ui/window_state.h"
#include "updates/launcher_finish.h"
#include "updates/state_files.h"
#include "updates/update_worker.h"

static const unsigned long ACCOUNT_WORKER_WAIT_MS = 70000;

// Deletes a file, or schedules it for the next restart when it is in use; true when either worked.
static bool remove_file(const char* path) {
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path)) return true;
    return is_file(path) && MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Gives a set-aside D3D8.dll of another program its name back, from the first place that records one.
static int restore_set_aside_dll() {
    static const char* const places[][3] = {
        {"zandor.ini", "display", "real_d3d8"},
        {"zandor.ini", "launcher", "set_aside_d3d8"},
        {"tolven.ini", "display", "real_d3d8"},
        {"tolven.ini", "launcher", "set_aside_d3d8"},
    };
    const UpdatePaths* paths = &launcher.update_paths;
    int count = 0;
    for (const auto& place : places) {
        char name[64], ini[PATH_CAP], aside[PATH_CAP];
        join_path(ini, sizeof ini, paths->game_folder, place[0]);
        GetPrivateProfileStringA(place[1], place[2], "", name, sizeof name, ini);
        // A name with a folder part could point anywhere: only plain names in the game folder count.
        if (!name[0] || strchr(name, '\\') || strchr(name, '/')) continue;
        join_path(aside, sizeof aside, paths->game_folder, name);
        if (!is_file(aside) || is_file(paths->dll_path)) continue;
        if (MoveFileExA(aside, paths->dll_path, 0)) {
            count++;
            log_line("uninstall: %s renamed back to D3D8.dll", name);
        }
    }
    return count;
}

// Starts a command that deletes the launcher file once this process has ended. While the launcher
// runs its file cannot be deleted, so the command tries again about every second until the file is
// gone, for up to ten minutes: long enough for a player who reads the summary at leisure, and it ends
// by itself when the file stays held by something else.
static bool schedule_self_delete() {
    const char* exe = launcher.launcher_exe;
    char del[400], command[1000];
    if (!path_fits_command(exe) || format_text(del, sizeof del, "del /f /q \"%s\" 2>nul", exe) + 1 >= sizeof del ||
        !format_retrying_command(command, sizeof command, del, exe)) {
        return false;
    }
    return start_detached_command(command);
}

// Nothing may be removed while the update worker still runs: it could swap a file in or write its
// state behind the uninstall. Every receive of the worker ends in bounded time, so after the usual
// wait this waits for it to end, however long that takes.
static void stop_update_worker() {
    stop_update_run(false);
    if (wait_for_update_worker(0)) return;
    log_line("uninstall: the update run has not stopped yet - waiting for it to end");
    DWORD start = GetTickCount();
    wait_for_update_worker(INFINITE);
    log_line("uninstall: the update run ended after %lu more seconds", (GetTickCount() - start) / 1000);
}

// Deletes one of the launcher's folders below the game folder, but never through a linked folder on
// the way there (it would then lie elsewhere, maybe among another program's files). A folder that
// is itself a link is only unlinked by delete_tree.
static bool delete_own_folder(const char* folder) {
    if (reached_through_link(launcher.update_paths.game_folder, folder)) {
        log_line("uninstall: %s lies behind a linked folder - left in place", folder);
        return false;
    }
    return delete_tree(folder);
}

static const char QUESTION[] =
    "This removes everything ZANDOR put on this PC:\n\n- the ZANDOR D3D8.dll in your game folder (a D3D8.dll of "
    "another program that ZANDOR renamed gets its name back)\n- zandor.ini (the ZANDOR settings)\n- the ZANDOR "
    "updates, the bot program and its Java in ombrix_data\n- your saved ZANDOR log-in and the PC marker (every "
    "copy)\n- this launcher\n\nThe game's own files are not touched. Your account and PC records stay on the "
    "server (see the terms).\n\nUninstall ZANDOR now?";

// The game must not run, and the player must say Yes; then "UNINSTALL" is logged.
static bool confirm_uninstall() {
    void* owner = launcher.window;
    if (game_is_running()) {
        show_message_box(owner, lookup_text("Please close the game first."), MB_OK | MB_ICONINFORMATION);
        return false;
    }
    if (show_message_box(owner, lookup_text(QUESTION), MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION) != IDYES) {
        return false;
    }
    log_line("UNINSTALL");
    return true;
}

// What the removal needs and what it found. Filled before the removal starts; from the window the
// removal runs on a worker, and the window thread reads the result only after it has ended.
struct Removal {
    char token[TOKEN_CAP];  // the current log-in's, for LOGOUT; empty when nobody is logged in
    int count;              // items removed
    bool self_delete_started;
};

static Removal removal;

// Nothing may be removed while something could still write behind the uninstall: the account worker
// (it stores PC markers), the update worker (it swaps files in and writes its state) and the command
// that would move a staged launcher into place. The LOGOUT request then also deletes the saved
// log-in file.
static void stop_what_still_runs() {
    // An account exchange ends within its own limit (connect and answer together stay under 70 s).
    if (!wait_for_login_worker(ACCOUNT_WORKER_WAIT_MS)) {
        log_line("uninstall: the account request did not end within %lu s", ACCOUNT_WORKER_WAIT_MS / 1000);
    }
    stop_update_worker();
    launcher_finish_stop(&launcher.update_paths);
    if (removal.token[0]) log_out_request(launcher.account_host, account_server_port(), removal.token);
    wipe(removal.token, sizeof removal.token);
}

// Our client DLL goes, another program's set-aside DLL gets its name back, then both settings files.
static void remove_game_folder_files() {
    const UpdatePaths* paths = &launcher.update_paths;
    if (classify_dll(paths->dll_path) == DLL_ZANDOR && remove_file(paths->dll_path)) {
        removal.count++;
        log_line("uninstall: our D3D8.dll removed");
    }
    removal.count += restore_set_aside_dll();

    char path[PATH_CAP];
    join_path(path, sizeof path, paths->game_folder, "zandor.ini");
    if (remove_file(path)) {
        removal.count++;
        log_line("uninstall: zandor.ini removed");
    }
    join_path(path, sizeof path, paths->game_folder, "tolven.ini");
    if (remove_file(path)) {
        removal.count++;
        log_line("uninstall: the older tolven.ini removed");
    }
}

// The Java runtime and the bot program, each only when the update installed it.
static void remove_installed_parts() {
    const UpdatePaths* paths = &launcher.update_paths;
    InstalledState installed;
    if (!installed_state_load(paths, &installed)) return;
    if (installed.version[PART_RUNTIME] > 0 && delete_own_folder(paths->runtime_folder)) {
        removal.count++;
        log_line("uninstall: the Java runtime removed");
    }
    if (installed.version[PART_BOTS] > 0 && delete_own_folder(paths->bots_folder)) {
        removal.count++;
        log_line("uninstall: the bot program removed");
    }
}

// The updates folder with the log in it (the log is closed first: nothing is logged after this).
static void remove_updates_folder() {
    const UpdatePaths* paths = &launcher.update_paths;
    bool updates_linked = reached_through_link(paths->game_folder, paths->updates_folder);
    if (updates_linked) {
        log_line("uninstall: %s lies behind a linked folder - left in place", paths->updates_folder);
    } else {
        log_line("uninstall: the updates folder goes next (this log with it)");
    }
    log_close();
    if (!updates_linked && delete_tree(paths->updates_folder)) removal.count++;
    // Only when nothing else is left in it; a linked one stays with what it points to.
    char path[PATH_CAP];
    join_path(path, sizeof path, paths->game_folder, "ombrix_data");
    if (!is_link(path)) RemoveDirectoryA(path);
}

// The remembered game folder beside a launcher outside the game folder, the account files, and last
// the launcher file itself.
static void remove_launcher_side() {
    char own_folder[PATH_CAP], path[PATH_CAP];
    copy_text(own_folder, sizeof own_folder, launcher.launcher_dir);
    apply_path_rule(own_folder, sizeof own_folder);
    if (!text_equal_nocase(own_folder, launcher.update_paths.game_folder)) {
        join_path(path, sizeof path, launcher.launcher_dir, "zandor.ini");
        if (remove_file(path)) removal.count++;
    }
    remove_account_files();
    removal.self_delete_started = schedule_self_delete();
    if (removal.self_delete_started) removal.count++;
}

static void remove_everything(void*) {
    stop_what_still_runs();
    remove_game_folder_files();
    remove_installed_parts();
    remove_updates_folder();
    remove_launcher_side();
}

static void show_summary() {
    const char* suffix = removal.self_delete_started ? "" : lookup_text(" (delete the launcher file yourself)");
    char summary[1200];
    format_text(summary, sizeof summary,
                lookup_text("ZANDOR is uninstalled: %d items removed from this PC%s.\n\nThe game's own files were not "
                            "touched.\nYour account and PC records stay on the server for 24 months after your last "
                            "log-in (ban records longer). To have them deleted, write to %s."),
                removal.count, suffix, ZANDOR_SUPPORT_EMAIL);
    show_message_box(launcher.window, summary, MB_OK | MB_ICONINFORMATION);
}

static void begin_removal() {
    memset(&removal, 0, sizeof removal);
    copy_text(removal.token, sizeof removal.token, current_login.token);
}

bool uninstall() {
    if (!confirm_uninstall()) return false;
    begin_removal();
    remove_everything(nullptr);
    show_summary();
    return true;
}

// From the window, once the removal has ended: the summary stays until the player closes it (the
// window is still busy, so nothing counts down meanwhile), then the launcher ends without the game.
static void after_removal_from_window(void*) {
    show_summary();
    launcher.play_game = false;
    launcher.start_step_taken = true;
    end_busy();
    HWND window = main_window();
    if (window) DestroyWindow(window);
}

static void uninstall_from_window() {
    if (window_busy()) return;
    begin_busy(nullptr);  // from the first box on, nothing counts down and no game starts
    if (!confirm_uninstall()) {
        end_busy();
        return;
    }
    end_login_activity();
    begin_removal();
    set_busy_status(lookup_text("Uninstalling ZANDOR: waiting for the update and the ZANDOR server..."));
    if (!run_busy_work(remove_everything, after_removal_from_window, nullptr)) end_busy();
}

void uninstall_attach() {
    window_hooks.uninstall = uninstall_from_window;
}
