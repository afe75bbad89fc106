// The launcher process from its entry to its exit: the main sequence, step by step.
#include "core/startup.h"

#include <windows.h>
#include <shellapi.h>
#include <string.h>

#include "account/account_files.h"
#include "account/login_flow.h"
#include "account/login_state.h"
#include "build_config.h"
#include "core/command_line.h"
#include "core/folder_path.h"
#include "core/game_start.h"
#include "core/language.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "core/single_instance.h"
#include "core/text.h"
#include "core/text_table.h"
#include "game_folder/discovery.h"
#include "game_folder/grant.h"
#include "game_folder/protected_folder.h"
#include "game_setup/server_choice.h"
#include "ui/paint_pages.h"
#include "ui/status.h"
#include "ui/window.h"
#include "ui/window_state.h"
#include "uninstall/uninstall.h"
#include "updates/boot_check.h"
#include "updates/update_worker.h"
#include "updates/update_source.h"

static void note_own_path() {
    GetModuleFileNameA(nullptr, launcher.launcher_exe, sizeof launcher.launcher_exe);
    launcher.launcher_exe[sizeof launcher.launcher_exe - 1] = 0;
    copy_text(launcher.launcher_dir, sizeof launcher.launcher_dir, launcher.launcher_exe);
    char* last = strrchr(launcher.launcher_dir, '\\');
    if (last) *last = 0;
}

// The arguments after the program name, converted to the ANSI code page (at most 64 are read).
static void read_command_line(CommandLine* command_line) {
    static char storage[64][PATH_CAP];
    const char* args[64];
    int count = 0, taken = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide && i < count && taken < 64; i++, taken++) {
        if (WideCharToMultiByte(CP_ACP, 0, wide[i], -1, storage[taken], PATH_CAP, nullptr, nullptr) == 0) {
            storage[taken][PATH_CAP - 1] = 0;  // cut at the capacity
        }
        args[taken] = storage[taken];
    }
    if (wide) LocalFree(wide);
    parse_command_line(taken, args, command_line);
}

static void read_own_version() {
    launcher.own_version[0] = 0;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(launcher.launcher_exe, &handle);
    if (size == 0 || size > 65536) return;
    static char data[65536];
    VS_FIXEDFILEINFO* info = nullptr;
    UINT info_size = 0;
    if (!GetFileVersionInfoA(launcher.launcher_exe, 0, size, data)) return;
    if (!VerQueryValueA(data, "\\", (void**)&info, &info_size) || !info || info_size < sizeof *info) return;
    format_text(launcher.own_version, sizeof launcher.own_version, "%u.%u.%u", (unsigned)HIWORD(info->dwFileVersionMS),
                (unsigned)LOWORD(info->dwFileVersionMS), (unsigned)HIWORD(info->dwFileVersionLS));
}

// A client DLL that failed to start twice is rolled back before any update work; the player hears
// of it only after a rollback (boot_note).
static void run_boot_check() {
    char message[300];
    int code = dll_boot_check(&launcher.update_paths, message, sizeof message);
    if (code == BOOT_ROLLED_BACK || code == BOOT_STUCK) log_line("boot check: %s", message);
    copy_text(launcher.boot_note, sizeof launcher.boot_note, code == BOOT_ROLLED_BACK ? message : "");
}

static int exit_code() {
    return (launcher.update_checked && !launcher.update_ok) ? 1 : 0;
}

static void log_start() {
    log_line("ZANDOR Launcher %s started in %s (game folder %s)", launcher.own_version, launcher.launcher_dir,
             launcher.update_paths.game_folder);
    if (launcher.migration_note[0]) log_line("%s", launcher.migration_note);
    log_line("game folder: %s", launcher.folder_source);
    if (launcher.folder_note[0]) log_line("%s", launcher.folder_note);
}

// How long a second start waits for a launcher of the same folder that shows no window (it is
// closing, or asks about a running game) before it tells the player.
static const unsigned long OTHER_LAUNCHER_WAIT_MS = 10000;
static const unsigned long OTHER_LAUNCHER_LOOK_MS = 250;

// Another launcher runs for this game folder. An uninstall now would pull its files away under it,
// so the player is asked to close it first. Otherwise its window comes to the front and this one
// ends; while it has none, this one waits a little for it to end and then goes on alone, or tells
// the player that it is still closing. True when this launcher goes on.
static bool settle_with_the_other_launcher() {
    const char* game_folder = launcher.update_paths.game_folder;
    if (launcher.uninstall) {
        log_line("another launcher runs for this game folder: not uninstalled");
        show_message_box(nullptr, lookup_text("Please close the other ZANDOR Launcher first."),
                         MB_OK | MB_ICONINFORMATION);
        return false;
    }
    for (unsigned long waited = 0; waited < OTHER_LAUNCHER_WAIT_MS; waited += OTHER_LAUNCHER_LOOK_MS) {
        if (bring_launcher_window_forward(game_folder)) {
            log_line("another launcher runs for this game folder (its window is brought to the front): this one ends");
            return false;
        }
        if (wait_for_game_folder(OTHER_LAUNCHER_LOOK_MS)) {
            log_line("another launcher ran for this game folder and has ended: this one goes on");
            return true;
        }
    }
    log_line("another launcher runs for this game folder and shows no window within %lu s: this one ends",
             OTHER_LAUNCHER_WAIT_MS / 1000);
    show_message_box(nullptr, lookup_text("The ZANDOR Launcher is still closing: please start it again in a moment."),
                     MB_OK | MB_ICONINFORMATION);
    return false;
}

// The window on its first page: the main page while a saved log-in is renewed, else the log-in page.
static void show_first_page() {
    bool saved_login_loaded = current_login.token[0] != 0;
    if (saved_login_loaded) {
        char status[800];
        format_text(status, sizeof status, lookup_text("Logging in as %s..."), current_login.display_name);
        set_status_text(status);
        log_line("saved log-in of %s: renewing", current_login.display_name);
    }
    open_window(GetModuleHandleA(nullptr), saved_login_loaded ? PAGE_MAIN : PAGE_LOGIN);
    mark_launcher_window(launcher.window, launcher.update_paths.game_folder);
    if (!saved_login_loaded) set_login_status(lookup_text("Looking for your ZANDOR account..."), false);
}

int run_launcher() {
    launcher_state_reset();
    note_own_path();

    CommandLine command_line;
    read_command_line(&command_line);
    if (command_line.grant_refused) return GRANT_BAD_ARGUMENTS;
    if (command_line.grant) {
        char folder[PATH_CAP];
        copy_text(folder, sizeof folder, command_line.grant_folder);
        apply_path_rule(folder, sizeof folder);
        return grant_folder_access(folder, command_line.grant_sid);
    }
    if (command_line.no_game) launcher.play_game = false;
    launcher.uninstall = command_line.uninstall;

    char game_folder[PATH_CAP];
    if (!launcher.play_game && !launcher.uninstall) {
        copy_text(game_folder, sizeof game_folder, launcher.launcher_dir);
    } else if (!find_game_folder(launcher.launcher_dir, game_folder, sizeof game_folder, launcher.folder_source,
                                 sizeof launcher.folder_source)) {
        return 0;
    }
    if (!ensure_writable(game_folder)) return 0;
    // The folder page made the window: it stays hidden until the first page.
    if (launcher.window) ShowWindow((HWND)launcher.window, SW_HIDE);

    update_paths_init(&launcher.update_paths, game_folder);
    copy_text(launcher.update_paths.launcher_path, PATH_CAP, launcher.launcher_exe);
    join_path(launcher.settings_path, sizeof launcher.settings_path, launcher.update_paths.game_folder, "zandor.ini");
    migrate_settings(launcher.update_paths.game_folder, launcher.migration_note, sizeof launcher.migration_note);

    char log_path[PATH_CAP];
    join_path(log_path, sizeof log_path, launcher.update_paths.updates_folder, "launcher.log");
    log_open(log_path);
    read_own_version();
    log_start();
    decide_language(launcher.update_paths.game_folder);
    if (!claim_game_folder(launcher.update_paths.game_folder) && !settle_with_the_other_launcher()) {
        log_close();
        return 0;
    }
    if (!launcher.account_host[0]) copy_text(launcher.account_host, sizeof launcher.account_host, ZANDOR_SERVER_ADDRESS);

    // The saved log-in: an empty token (nobody logged in) when none could be read.
    if (!load_login(&current_login)) current_login.token[0] = 0;
    if (launcher.uninstall) {
        uninstall();
        log_close();
        return 0;
    }
    if (launcher.play_game && game_is_running()) {
        show_message_box(nullptr, lookup_text("The game is already running."), MB_OK | MB_ICONINFORMATION);
        log_close();
        return 0;
    }

    run_boot_check();
    read_server_choice();
    log_line("server choice in zandor.ini: %s", server_choice_name());
    read_update_host_and_channel();

    login_flow_attach();
    uninstall_attach();
    show_first_page();
    start_login_worker(current_login.token[0] ? LOGIN_RENEW : LOGIN_AUTO);
    if (launcher.window) {
        run_message_loop();
    } else {
        log_line("the window could not be created: the launcher ends");
    }

    if (update_worker_started() && !wait_for_update_worker(UPDATE_WORKER_WAIT_MS)) {
        log_line("the update step did not stop within %lu s", UPDATE_WORKER_WAIT_MS / 1000);
    }
    forget_update_worker();
    log_line("launcher closed");
    log_close();
    return exit_code();
}
