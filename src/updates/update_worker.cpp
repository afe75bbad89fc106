// Starting and stopping the update run: the update worker (waiting parts, game account file, one
// run, the D3D8 hand-over) or the short worker when no update check is made, and the flags they
// share with the window.
#include "updates/update_worker.h"

#include <winsock2.h>
#include <windows.h>
#include <string.h>

#include "account/account_address.h"
#include "account/login_state.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/shared_counter.h"
#include "core/text.h"
#include "game_setup/d3d8_placement.h"
#include "game_setup/game_account.h"
#include "updates/part_kinds.h"
#include "updates/release_keys.h"
#include "updates/update_run.h"
#include "updates/update_protocol.h"
#include "updates/waiting_parts.h"
#include "web/web_lookups.h"

// Points at the log-in of this run; the log-in flow adds its outcome note when it has one.
UpdateLogin update_login = {&current_login, &account_logged_in, nullptr};
UpdateProgress update_progress;
UpdateResult update_result;
bool update_started;
volatile long update_done;

// Written by the window thread, which starts the worker, or by the busy window's worker, which waits
// for it while the window starts nothing (log-out, "Not you?", the uninstall); never by both at once.
static HANDLE worker_thread;
static int server_port = UPDATE_PORT;
// The worker's own copy of the log-in: written by start_update_run before the worker starts, read
// only by the worker, wiped by it when it ends. The window may change the current log-in meanwhile.
static SavedLogin run_login;
static bool run_logged_in;

void set_update_port(int port) {
    server_port = port;
}

int update_port() {
    return server_port;
}

static void take_login_for_run() {
    run_logged_in = update_login.logged_in && *update_login.logged_in;
    if (run_logged_in && update_login.login) {
        run_login = *update_login.login;
    } else {
        wipe(&run_login, sizeof run_login);
    }
}

static void forget_login_of_run() {
    wipe(&run_login, sizeof run_login);
}

static void write_game_account_file() {
    GameAccountStep step;
    step.account_host = launcher.account_host;
    step.account_port = account_server_port();
    step.game_folder = launcher.update_paths.game_folder;
    step.logged_in = run_logged_in;
    step.login = &run_login;
    step.stop = &update_progress.stop;
    write_game_account(&step);
}

static void reset_progress() {
    InterlockedExchange(&update_progress.stop, 0);
    counter_set(&update_progress.done_bytes, 0);
    counter_set(&update_progress.total_bytes, 0);
    update_progress.phase = 0;
}

bool update_once() {
    UpdateRequest request;
    memset(&request, 0, sizeof request);
    copy_text(request.host, sizeof request.host, launcher.update_host);
    request.port = server_port;
    copy_text(request.channel, sizeof request.channel, launcher.update_channel);
    if (run_logged_in) copy_text(request.token, sizeof request.token, run_login.token);
    memset(&update_result, 0, sizeof update_result);
    bool ok = run_update(&launcher.update_paths, &request, &update_progress, &update_result);
    wipe(request.token, sizeof request.token);
    if (ok) {
        log_line("release %llu: newer 0x%X, applied 0x%X, staged 0x%X %s", (unsigned long long)update_result.release,
                 update_result.newer, update_result.applied, update_result.staged, update_result.message);
    } else {
        log_line("release %llu: not finished - %s", (unsigned long long)update_result.release, update_result.message);
    }
    return ok;
}

// Another program's d3d8.dll stood in the client's place: keep a tester's build, set anything else
// aside so a second run can place the client, then report or move it back.
static void hand_over_d3d8() {
    int kind = classify_dll(launcher.update_paths.dll_path);
    if (kind == DLL_ZANDOR) {
        log_line("D3D8.dll is a ZANDOR build that was never published (a tester's): not replaced");
    } else if (kind == DLL_OTHER) {
        SetAsideRecord record;
        if (set_aside_other_dll(&record)) {
            launcher.update_ok = update_once();
            finish_set_aside(&record);
        }
    }
}

static DWORD WINAPI update_worker(void*) {
    char notes[600];
    unsigned applied = 0;
    apply_waiting_parts(&launcher.update_paths, &applied, notes, sizeof notes);
    if (notes[0]) log_line("waiting parts: %s", notes);
    write_game_account_file();
    launcher.update_ok = update_once();
    if (launcher.update_ok && update_result.dll_not_ours && !update_progress.stop) hand_over_d3d8();
    forget_login_of_run();
    InterlockedExchange(&update_done, 1);
    return 0;
}

static DWORD WINAPI short_worker(void*) {
    write_game_account_file();
    forget_login_of_run();
    look_up_newest_launcher();
    InterlockedExchange(&update_done, 1);
    return 0;
}

void start_update_run() {
    if (update_started) return;
    update_started = true;
    reset_progress();
    memset(&update_result, 0, sizeof update_result);
    InterlockedExchange(&update_done, 0);
    launcher.update_ok = false;
    take_login_for_run();

    LPTHREAD_START_ROUTINE routine;
    if (launcher.update_host[0] && trusted_key_count() > 0 && run_logged_in) {
        launcher.update_checked = true;
        log_line("checking %s:%d channel %s", launcher.update_host, server_port, launcher.update_channel);
        routine = update_worker;
    } else {
        launcher.update_checked = false;
        const char* reason = !run_logged_in            ? "not logged in"
                             : launcher.update_host[0] ? "no ZANDOR release key built in yet"
                                                       : "no update server";
        log_line("no update check (%s)", reason);
        routine = short_worker;
    }
    worker_thread = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
    if (!worker_thread) {
        forget_login_of_run();
        InterlockedExchange(&update_done, 1);
    }
}

bool update_worker_started() {
    return worker_thread != nullptr;
}

bool wait_for_update_worker(unsigned long timeout_ms) {
    if (!worker_thread) return true;
    // A worker that is still running keeps its handle, so that later stops and the shut-down wait
    // for it again instead of taking it for ended.
    if (WaitForSingleObject(worker_thread, timeout_ms) != WAIT_OBJECT_0) return false;
    forget_update_worker();
    return true;
}

void forget_update_worker() {
    if (worker_thread) CloseHandle(worker_thread);
    worker_thread = nullptr;
}

void stop_update_run(bool allow_restart) {
    InterlockedExchange(&update_progress.stop, 1);
    bool ended = wait_for_update_worker(UPDATE_WORKER_WAIT_MS);
    // A worker that is still running keeps the run marked as started, so that no second worker
    // works on the same files beside it.
    if (allow_restart && ended) update_started = false;
}
