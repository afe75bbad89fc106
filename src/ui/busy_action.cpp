// The busy window: disabled action buttons, a held countdown, a close kept for later, and the one
// worker of the window's slower actions.
#include "ui/busy_action.h"

#include "core/log.h"
#include "ui/paint_pages.h"
#include "ui/status.h"
#include "ui/window_state.h"

// The buttons that start an action of their own.
static const int ACTION_BUTTONS[] = {ID_PLAY_NOW,   ID_CHANGE_SERVER, ID_LOGOUT,       ID_SERVER_CARD,
                                     ID_ANY_SERVER, ID_LOGIN,         ID_ACCEPT_TERMS, ID_TERMS_LOGOUT};
static const int ACTION_BUTTON_COUNT = (int)(sizeof ACTION_BUTTONS / sizeof ACTION_BUTTONS[0]);

struct BusyState {
    bool on;
    DWORD since;                        // GetTickCount() when it began
    bool wanted[ACTION_BUTTON_COUNT];   // the state each button gets at the end
    bool close_asked;
    bool login_done_kept;  // WM_LOGIN_DONE came while busy
};

static BusyState busy;

// The worker of a busy action. work, done and context are written by the window thread before the
// worker starts; the worker runs work and then posts WM_BUSY_WORK_DONE; the window thread runs done
// only after that message, when the worker has finished with context.
struct BusyWork {
    BusyStep work;
    BusyStep done;
    void* context;
    bool running;  // window thread only
};

static BusyWork busy_work;

static int button_index(int id) {
    for (int i = 0; i < ACTION_BUTTON_COUNT; i++) {
        if (ACTION_BUTTONS[i] == id) return i;
    }
    return -1;
}

bool window_busy() {
    return busy.on;
}

void set_busy_status(const char* status) {
    if (!status) return;
    if (window_ui.page == PAGE_MAIN) {
        set_status_text(status);
    } else {
        set_login_status(status, false);
    }
}

void begin_busy(const char* status) {
    if (!busy.on) {
        busy.on = true;
        busy.since = GetTickCount();
        for (int i = 0; i < ACTION_BUTTON_COUNT; i++) {
            HWND button = control_window(ACTION_BUTTONS[i]);
            busy.wanted[i] = button && IsWindowEnabled(button);
            if (button) EnableWindow(button, FALSE);
        }
    }
    set_busy_status(status);
}

DWORD tick_after_hold(DWORD tick, DWORD held_since, DWORD now) {
    DWORD held = now - held_since;
    if (tick - held_since <= held) return now;
    return tick + held;
}

void end_busy() {
    if (!busy.on) return;
    busy.on = false;
    DWORD now = GetTickCount();
    window_ui.main_page_tick = tick_after_hold(window_ui.main_page_tick, busy.since, now);
    if (window_ui.outcome_tick) {
        DWORD outcome = tick_after_hold(window_ui.outcome_tick, busy.since, now);
        window_ui.outcome_tick = outcome ? outcome : 1;  // 0 means "not seen yet"
    }
    for (int i = 0; i < ACTION_BUTTON_COUNT; i++) {
        HWND button = control_window(ACTION_BUTTONS[i]);
        if (button) EnableWindow(button, busy.wanted[i]);
    }
    HWND window = main_window();
    if (busy.login_done_kept) {
        busy.login_done_kept = false;
        if (window) PostMessageA(window, WM_LOGIN_DONE, 0, 0);
    }
    if (busy.close_asked) {
        busy.close_asked = false;
        if (window) PostMessageA(window, WM_CLOSE, 0, 0);
    }
}

bool keep_message_for_later(UINT message) {
    if (!busy.on || message != WM_LOGIN_DONE) return false;
    busy.login_done_kept = true;
    return true;
}

void enable_action_button(int id, bool enabled) {
    int index = button_index(id);
    if (busy.on && index >= 0) {
        busy.wanted[index] = enabled;
        return;
    }
    HWND button = control_window(id);
    if (button) EnableWindow(button, enabled);
}

bool action_button_usable(int id) {
    HWND button = control_window(id);
    return !busy.on && button && IsWindowEnabled(button);
}

bool keep_close_for_later() {
    if (!busy.on) return false;
    if (!busy.close_asked) log_line("window closed by the player while it waits: it closes when the wait ends");
    busy.close_asked = true;
    return true;
}

static DWORD WINAPI busy_worker(void*) {
    busy_work.work(busy_work.context);
    HWND window = main_window();
    if (window) PostMessageA(window, WM_BUSY_WORK_DONE, 0, 0);
    return 0;
}

bool run_busy_work(BusyStep work, BusyStep done, void* context) {
    if (busy_work.running) return false;
    busy_work = BusyWork{work, done, context, true};
    HANDLE thread = CreateThread(nullptr, 0, busy_worker, nullptr, 0, nullptr);
    if (thread) {
        CloseHandle(thread);
        return true;
    }
    log_line("no thread for the wait: it runs in the window");
    work(context);
    on_busy_work_done();
    return true;
}

void on_busy_work_done() {
    if (!busy_work.running) return;
    busy_work.running = false;
    if (busy_work.done) busy_work.done(busy_work.context);
}
