// The window's ids, pages and timers, its process-wide state, what the log-in flow shows of the
// current log-in (LoginView), and the hooks through which the window calls the modules that drive it:
// the log-in flow, the folder page and the uninstall. Those include this header; the window never
// includes theirs, nor any account/ header, and knows the log-in only through LoginView. The
// players-online look-up (web/), the update run and the server choice it calls directly.
#pragma once

#include <windows.h>

#include "core/window_messages.h"

enum Page { PAGE_NONE = 0, PAGE_LOGIN = 1, PAGE_SERVER = 2, PAGE_MAIN = 3, PAGE_TERMS = 4, PAGE_FOLDER = 5 };

enum ControlId {
    ID_PLAY_NOW = 101,
    ID_CHANGE_SERVER = 102,
    ID_SERVER_CARD = 103,
    ID_ANY_SERVER = 104,
    ID_LOGIN = 105,
    ID_LOGOUT = 106,
    ID_ACCEPT_TERMS = 112,
    ID_TERMS_LOGOUT = 113,
    ID_USE_FOLDER = 130,
    ID_BROWSE = 131,
    ID_FOLDER_EDIT = 132,
};

enum TimerId { TIMER_STATUS = 1, TIMER_PLAYERS = 2, TIMER_LOGIN_POLL = 3 };
static const UINT TIMER_STATUS_MS = 250;
static const UINT TIMER_PLAYERS_MS = 30000;
static const UINT TIMER_LOGIN_POLL_MS = 2000;

static_assert(WM_LOGIN_DONE == WM_APP + 1 && WM_PLAYERS_ONLINE == WM_APP + 2 && WM_BUSY_WORK_DONE == WM_APP + 3,
              "the workers' messages are the application's own");

enum LinkAction {
    LINK_SIGNUP = 1,
    LINK_HELP = 2,
    LINK_TERMS = 3,
    LINK_UNINSTALL = 4,
    LINK_NOT_YOU = 5,
    LINK_REOPEN_LOGIN = 6,
};

enum FontId { FONT_WORDMARK, FONT_TITLE, FONT_BIG, FONT_BUTTON, FONT_BODY, FONT_SMALL, FONT_SMALL_BOLD, FONT_COUNT };

static const int CONTROL_COUNT = 11;
static const int LINK_CAP = 6;

struct LinkArea {
    int action;
    RECT rect;
};

// The window's own state. UI thread only.
struct WindowUi {
    int dpi;   // read once before anything is created; at least 96
    int page;  // 0 until the first page is shown
    HFONT fonts[FONT_COUNT];
    HWND controls[CONTROL_COUNT];  // in creation order
    LinkArea links[LINK_CAP];      // the link areas of the last paint
    int link_count;
    char login_status[600];
    bool login_status_error;
    char status_text[800];
    char server_line[300];
    char outcome_text[600];
    char folder_message[600];  // the folder page's validation message; empty draws nothing
    DWORD main_page_tick;      // GetTickCount() when the main page was last shown
    DWORD outcome_tick;        // GetTickCount() when the finished run was first seen; 0 before
    bool play_now_pressed;
    HBITMAP background;  // the cached background, never freed
    int background_height;
    int background_builds;  // how often it was built, for the record
};

extern WindowUi window_ui;

// All the window knows of the log-in: the log-in flow copies here what the pages show of the current
// log-in (which lives in account/login_state.h) and of a browser log-in. Written by the log-in flow on
// the UI thread, painted here.
struct LoginView {
    bool browser_waiting;    // the browser log-in runs: its code is shown
    bool not_you_offered;    // the log-in was automatic: "Not you?" is offered, the countdown is longer
    char user_code[16];
    char login_url[300];     // the browser log-in page of the waiting log-in, for "Open the page again"
    bool logged_in;          // the player is logged in: the main page names them
    char display_name[64];   // the name of the current log-in
    char terms_url[160];     // the terms page the account server named; empty: the web site's own
};

extern LoginView login_view;

// Calls out of the window into the modules that drive it (the log-in flow, the folder page, the
// uninstall), and to its own link actions. A hook left empty does nothing.
struct WindowHooks {
    void (*login_button)();         // "Log in with Google"
    void (*login_done)();           // WM_LOGIN_DONE arrived
    void (*login_poll_timer)();     // TIMER_LOGIN_POLL ticked
    void (*log_out)();              // either "Log out"
    void (*accept_terms_worker)();  // "I accept", after the window disabled it and said "Saving..."
    void (*use_folder)();           // "Use this folder"
    void (*browse_folder)();        // "Browse..."
    // A link of the last paint was clicked. The window sets it to its own run_link_action; tests of
    // the clicks put their own here, as the real actions open the browser, a mail program or the
    // uninstall's question.
    void (*link_action)(int action);
    void (*not_you)();    // the "Not you?" link's work in the log-in flow
    void (*uninstall)();  // "Uninstall ZANDOR": the uninstall asks, removes and ends the launcher
};

extern WindowHooks window_hooks;

// A length at 96 dpi in pixels at the window's dpi.
int scale(int value);
// The child control with this id, or null.
HWND control_window(int id);
HWND main_window();
