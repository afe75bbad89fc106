// The log-in flow. Two kinds of thread work for it besides the window thread: the account worker (at
// most one; it runs one request and writes the shared reply) and the detached log-out thread (it
// sends LOGOUT with its own copy of the token and is never waited for). Everything else happens on
// the window thread in on_login_done, which ignores answers of workers started before the latest
// cancel, log-out or "Not you?" (the generation rule). Only the account worker is waited for: by the
// uninstall, before it removes the files the worker may write. Log-out and "Not you?" wait for the
// update run (and "Not you?" for its NOTME exchange) on a worker of the busy window.
#include "account/login_flow.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "account/account_address.h"
#include "account/account_files.h"
#include "account/account_requests.h"
#include "account/login_state.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_table.h"
#include "core/open_address.h"
#include "ui/busy_action.h"
#include "ui/pages.h"
#include "ui/paint_pages.h"
#include "ui/status.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"

char login_outcome_note[300];

// Shared with the account worker. Who writes what:
// - worker_busy: set to 1 by the window thread when it starts a worker and to 0 by the worker as its
//   last act before posting WM_LOGIN_DONE (or by the window when the thread could not start), both
//   with an interlocked exchange; the window thread reads it at any time (a worker runs or not).
// - login_mode, worker_generation, worker_login: written by the window thread in start_login_worker
//   while no worker runs; the worker reads login_mode and worker_login, and wipes worker_login (the
//   worker's own copy of the log-in, so that the window may clear the current one) as it ends.
// - login_generation: the window thread only (cancel, log-out, "Not you?", the uninstall).
// - reply, browser_request (its answer fields), web_login_result, web_poll_result and
//   accept_terms_result: written by the worker; read by the window thread only in on_login_done,
//   after WM_LOGIN_DONE. browser_request is read by the next WEBPOLL worker, which the window starts
//   only after that.
static volatile LONG worker_busy = 0;
static int login_mode = LOGIN_AUTO;
static int login_generation = 0;
static int worker_generation = 0;
static AccountReply reply;
static WebLoginRequest browser_request;
static bool web_login_result = false;
static int web_poll_result = 0;
static bool accept_terms_result = false;
static SavedLogin worker_login;

static char auto_login_marker[64];

// The window's view of the log-in follows every change of the current log-in.
static void update_login_view() {
    login_view.logged_in = account_logged_in;
    copy_text(login_view.display_name, sizeof login_view.display_name, current_login.display_name);
    copy_text(login_view.terms_url, sizeof login_view.terms_url, current_login.terms_url);
}

static void set_button_text(const char* source) {
    SetWindowTextA(control_window(ID_LOGIN), lookup_text(source));
}

static DWORD WINAPI login_worker(void*) {
    char client_name[40];
    make_client_name(launcher.own_version, client_name, sizeof client_name);
    const char* host = launcher.account_host;
    unsigned short account_port = account_server_port();
    switch (login_mode) {
        case LOGIN_WEBLOGIN:
            web_login_result = request_web_login(host, account_port, client_name, &browser_request, &reply);
            break;
        case LOGIN_WEBPOLL:
            web_poll_result = poll_web_login(host, account_port, &browser_request, &reply);
            break;
        case LOGIN_RENEW:
            if (!renew_login(host, account_port, &worker_login, client_name, &reply)) reply.ok = false;
            break;
        case LOGIN_AUTO:
            if (!auto_login(host, account_port, client_name, &reply)) reply.ok = false;
            break;
        case LOGIN_ACCEPT_TERMS:
            accept_terms_result = accept_terms(host, account_port, &worker_login, worker_login.terms_version);
            break;
    }
    wipe(&worker_login, sizeof worker_login);
    InterlockedExchange(&worker_busy, 0);
    HWND window = main_window();
    if (window) PostMessageA(window, WM_LOGIN_DONE, 0, 0);
    return 0;
}

void start_login_worker(int mode) {
    if (InterlockedExchange(&worker_busy, 1) == 1) return;
    login_mode = mode;
    worker_generation = login_generation;
    memset(&reply, 0, sizeof reply);
    worker_login = current_login;
    HANDLE thread = CreateThread(nullptr, 0, login_worker, nullptr, 0, nullptr);
    if (!thread) {
        wipe(&worker_login, sizeof worker_login);
        InterlockedExchange(&worker_busy, 0);
        return;
    }
    CloseHandle(thread);
}

void stop_browser_wait() {
    login_view.browser_waiting = false;
    KillTimer(main_window(), TIMER_LOGIN_POLL);
    set_button_text("Log in with Google");
    InvalidateRect(main_window(), nullptr, FALSE);
}

void on_login_button() {
    if (login_view.browser_waiting) {
        log_line("browser log-in cancelled");
        login_generation++;
        stop_browser_wait();
        set_login_status("", false);
    } else if (worker_busy) {
        set_login_status(lookup_text("Please wait a moment and try again."), false);
    } else {
        set_login_status(lookup_text("Logging in..."), false);
        enable_action_button(ID_LOGIN, false);
        start_login_worker(LOGIN_WEBLOGIN);
    }
}

void on_poll_timer() {
    if (login_view.browser_waiting && !worker_busy) start_login_worker(LOGIN_WEBPOLL);
}

static void show_reply_failure() {
    set_login_status(reply.message[0] ? reply.message : lookup_text("The log-in did not work. Please try again."), true);
}

static void forget_current_login() {
    wipe(&current_login, sizeof current_login);
    account_logged_in = false;
    update_login_view();
}

static void on_terms_done() {
    if (accept_terms_result) {
        log_line("new terms %s accepted", current_login.terms_version);
        set_login_status("", false);
        show_main_page_after_login();
    } else {
        log_line("new terms %s: the answer did not arrive", current_login.terms_version);
        set_login_status(lookup_text("That did not work. Please try again."), true);
    }
}

static void on_web_login_started() {
    if (!web_login_result) {
        // Answered with no code but an address: a REQUEST answer whose address is not one to open.
        if (reply.answered && !reply.error_code[0] && browser_request.login_url[0]) {
            log_line("browser log-in: the address \"%s\" is not a web address: not opened",
                     browser_request.login_url);
        }
        log_line("browser log-in: no request (%s)", reply.error_code);
        show_reply_failure();
        return;
    }
    log_line("browser log-in: the page is opened, code %s", browser_request.user_code);
    open_server_address(browser_request.login_url, "browser log-in");
    login_view.browser_waiting = true;
    copy_text(login_view.user_code, sizeof login_view.user_code, browser_request.user_code);
    copy_text(login_view.login_url, sizeof login_view.login_url, browser_request.login_url);
    set_login_status("", false);
    set_button_text("Cancel");
    SetTimer(main_window(), TIMER_LOGIN_POLL, TIMER_LOGIN_POLL_MS, nullptr);
    InvalidateRect(main_window(), nullptr, FALSE);
}

// A refused or unanswered renewal.
static void on_renewal_failed() {
    log_line("log-in %s: %s (%s)", "renewal refused", reply.error_code, reply.answered ? "server answer" : "no answer");
    bool keep_file = strcmp(reply.error_code, "rate_limited") == 0 || strcmp(reply.error_code, "server_error") == 0;
    if (reply.answered && !keep_file) delete_saved_login();
    if (!reply.answered && strcmp(reply.error_code, "not_our_server") != 0) {
        copy_text(login_outcome_note, sizeof login_outcome_note,
                  lookup_text("ZANDOR cannot be reached right now: the game starts without updates."));
        account_logged_in = false;
        update_login_view();
        show_main_page_after_login();
        return;
    }
    forget_current_login();
    if (window_ui.page != PAGE_LOGIN) show_page(PAGE_LOGIN);
    show_reply_failure();
}

// A new log-in is saved (session.dat, written with patient retries) by the busy window's worker; the
// window thread fills the record before and reads it after.
struct SaveWork {
    SavedLogin login;  // the worker's own copy, wiped when saved
    bool saved;
    int mode;
    bool notice_was_shown;
    bool older_terms;
};

static SaveWork save_work;

static void save_login_on_worker(void*) {
    save_work.saved = save_login(&save_work.login);
    wipe(&save_work.login, sizeof save_work.login);
}

static void after_login_saved(void*) {
    end_busy();
    if (!save_work.saved) log_line("the log-in could not be saved (DPAPI): asked again next time");
    if (save_work.older_terms) {
        log_line("the account accepted older terms: the new terms %s are shown", current_login.terms_version);
        set_login_status("", false);  // no start-up "Looking for..." under the terms
        show_page(PAGE_TERMS);
        return;
    }
    const char* how = save_work.mode == LOGIN_RENEW  ? "log-in renewed"
                      : save_work.mode == LOGIN_AUTO ? "logged in automatically (IP address)"
                                                     : "logged in with Google (browser)";
    log_line("%s as account %llu (%s)%s", how, (unsigned long long)current_login.account_id,
             current_login.display_name, save_work.notice_was_shown ? "" : ", terms notice shown");
    show_main_page_after_login();
}

static void on_logged_in() {
    login_view.not_you_offered = login_mode == LOGIN_AUTO;
    if (login_mode == LOGIN_AUTO) copy_text(auto_login_marker, sizeof auto_login_marker, reply.pc_marker);
    save_work.notice_was_shown = current_login.terms_notice_shown;
    current_login = reply.login;
    current_login.terms_notice_shown = true;
    account_logged_in = true;
    update_login_view();
    save_work.login = current_login;
    save_work.saved = false;
    save_work.mode = login_mode;
    save_work.older_terms = reply.older_terms;
    begin_busy(nullptr);
    if (!run_busy_work(save_login_on_worker, after_login_saved, nullptr)) {
        save_work.saved = save_login(&save_work.login);
        wipe(&save_work.login, sizeof save_work.login);
        after_login_saved(nullptr);
    }
}

void on_login_done() {
    enable_action_button(ID_LOGIN, true);
    // "I accept" too: an ignored terms answer would otherwise leave it disabled for the next log-in.
    enable_action_button(ID_ACCEPT_TERMS, true);
    if (worker_generation != login_generation) {
        log_line("an answer from before the log-out: ignored");
        return;
    }
    switch (login_mode) {
        case LOGIN_ACCEPT_TERMS: on_terms_done(); return;
        case LOGIN_WEBLOGIN: on_web_login_started(); return;
        case LOGIN_WEBPOLL:
            if (!login_view.browser_waiting) return;
            if (web_poll_result == 0) {
                if (GetTickCount() - browser_request.started_tick <= browser_request.timeout_ms) return;
                stop_browser_wait();
                set_login_status(lookup_text("The log-in in the browser took too long. Please try again."), true);
                return;
            }
            stop_browser_wait();
            if (web_poll_result < 0) {
                log_line("browser log-in refused: %s", reply.error_code);
                show_reply_failure();
                return;
            }
            on_logged_in();
            return;
        case LOGIN_AUTO:
            if (reply.ok) {
                on_logged_in();
                return;
            }
            log_line("no automatic log-in by IP (%s)", reply.answered ? reply.error_code : "no answer");
            if (reply.answered) {
                set_login_status("", false);
            } else {
                set_login_status(reply.message, true);
            }
            return;
        case LOGIN_RENEW:
            if (reply.ok) {
                on_logged_in();
            } else {
                on_renewal_failed();
            }
            return;
    }
}

static DWORD WINAPI log_out_thread(void* parameter) {
    char* token = (char*)parameter;
    log_out_request(launcher.account_host, account_server_port(), token);
    wipe(token, TOKEN_CAP);
    free(token);
    return 0;
}

// What log-out and "Not you?" share once the server was told: nobody is logged in, the log-in
// page shows with a status text.
static void back_to_login_page(const char* status) {
    forget_current_login();
    login_view.not_you_offered = false;
    window_ui.play_now_pressed = false;
    set_status_text("");
    enable_action_button(ID_PLAY_NOW, true);
    enable_action_button(ID_CHANGE_SERVER, true);
    show_page(PAGE_LOGIN);
    set_login_status(lookup_text(status), false);
}

// The waits of log-out and "Not you?", done by the busy window's worker. The window thread fills
// the record before the worker starts and reads the result after it has ended.
struct LeaveWork {
    bool tell_server;     // "Not you?": NOTME with the log-in and the marker below
    SavedLogin login;     // the worker's own copy of the current log-in
    char marker[64];
    bool update_stopped;  // the update worker ended within its wait
};

static LeaveWork leave_work;

static void leave_work_on_worker(void*) {
    // Nothing of the update worker may still run when the next log-in starts a run.
    InterlockedExchange(&update_progress.stop, 1);
    leave_work.update_stopped = wait_for_update_worker(UPDATE_WORKER_WAIT_MS);
    if (leave_work.tell_server) {
        not_me(launcher.account_host, account_server_port(), &leave_work.login, leave_work.marker);
    }
    wipe(&leave_work.login, sizeof leave_work.login);
}

static void after_log_out(void*) {
    if (leave_work.update_stopped) update_started = false;  // the next log-in starts a new run
    delete_saved_login();
    if (current_login.token[0]) {
        char* token = (char*)calloc(1, TOKEN_CAP);
        if (token) {
            copy_text(token, TOKEN_CAP, current_login.token);
            HANDLE thread = CreateThread(nullptr, 0, log_out_thread, token, 0, nullptr);
            if (thread) {
                CloseHandle(thread);
            } else {
                wipe(token, TOKEN_CAP);
                free(token);
            }
        }
    }
    end_busy();
    back_to_login_page("You are logged out.");
}

static void after_not_you(void*) {
    if (leave_work.update_stopped) update_started = false;
    end_busy();
    back_to_login_page("Log in with your own ZANDOR account.");
}

static void start_leaving(bool tell_server, const char* status, BusyStep done) {
    login_generation++;
    begin_busy(lookup_text(status));
    leave_work.tell_server = tell_server;
    leave_work.login = current_login;
    copy_text(leave_work.marker, sizeof leave_work.marker, auto_login_marker);
    leave_work.update_stopped = false;
    if (!run_busy_work(leave_work_on_worker, done, nullptr)) {
        wipe(&leave_work.login, sizeof leave_work.login);
        end_busy();
    }
}

void log_out() {
    if (window_busy()) return;
    log_line("log out pressed (the PC marker stays)");
    start_leaving(false, "Logging out: waiting for the update to stop...", after_log_out);
}

void not_you() {
    if (window_busy()) return;
    log_line("Not you? pressed after the automatic log-in");
    start_leaving(true, "Logging out: waiting for the update to stop and for the ZANDOR server...", after_not_you);
}

void end_login_activity() {
    if (login_view.browser_waiting) stop_browser_wait();
    KillTimer(main_window(), TIMER_LOGIN_POLL);
    // An answer still on its way belongs to an older attempt now: its handler ignores it.
    login_generation++;
}

bool wait_for_login_worker(unsigned long wait_ms) {
    DWORD start = GetTickCount();
    while (InterlockedCompareExchange(&worker_busy, 0, 0) != 0) {
        if (GetTickCount() - start >= wait_ms) return false;
        Sleep(50);
    }
    return true;
}

static void accept_terms_from_window() {
    start_login_worker(LOGIN_ACCEPT_TERMS);
}

void login_flow_attach() {
    window_hooks.login_button = on_login_button;
    window_hooks.login_done = on_login_done;
    window_hooks.login_poll_timer = on_poll_timer;
    window_hooks.log_out = log_out;
    window_hooks.accept_terms_worker = accept_terms_from_window;
    window_hooks.not_you = not_you;
    update_login.login = &current_login;
    update_login.logged_in = &account_logged_in;
    update_login.outcome_note = login_outcome_note;
    update_login_view();
}
