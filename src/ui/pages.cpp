// The page switch and the two ways into the main page.
#include "ui/pages.h"

#include "core/launcher_state.h"
#include "game_setup/server_choice.h"
#include "ui/busy_action.h"
#include "ui/controls.h"
#include "ui/server_cards.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"
#include "web/web_lookups.h"

int page_client_height(int page) {
    switch (page) {
        case PAGE_SERVER: return SERVER_PAGE_HEIGHT;
        case PAGE_LOGIN: return LOGIN_PAGE_HEIGHT;
        case PAGE_TERMS: return TERMS_PAGE_HEIGHT;
        case PAGE_FOLDER: return FOLDER_PAGE_HEIGHT;
        default: return MAIN_PAGE_HEIGHT;
    }
}

void resize_client(int height) {
    HWND window = main_window();
    if (!window) return;
    RECT outer = {0, 0, scale(CLIENT_WIDTH), scale(height)};
    AdjustWindowRectEx(&outer, (DWORD)GetWindowLongA(window, GWL_STYLE), FALSE,
                       (DWORD)GetWindowLongA(window, GWL_EXSTYLE));
    RECT now;
    GetWindowRect(window, &now);
    SetWindowPos(window, nullptr, now.left, now.top, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The main page's own part of a page switch: server line, the moment it showed, focus on "Play now".
static void arrive_on_main_page() {
    update_server_line();
    window_ui.main_page_tick = GetTickCount();
    SetFocus(control_window(ID_PLAY_NOW));
}

void show_page(int page) {
    HWND window = main_window();
    window_ui.page = page;
    show_page_controls(page);
    if (page == PAGE_FOLDER) {
        SetWindowPos(control_window(ID_USE_FOLDER), nullptr, scale(336), scale(318), scale(240), scale(40),
                     SWP_NOZORDER | SWP_NOREDRAW);
    }
    resize_client(page_client_height(page));
    if (page == PAGE_SERVER) {
        start_players_fetch();
        SetTimer(window, TIMER_PLAYERS, TIMER_PLAYERS_MS, nullptr);
        SetFocus(control_window(ID_SERVER_CARD));
    } else {
        KillTimer(window, TIMER_PLAYERS);
        if (page == PAGE_MAIN) {
            arrive_on_main_page();
        } else if (page == PAGE_TERMS) {
            SetFocus(control_window(ID_ACCEPT_TERMS));
        } else if (page == PAGE_FOLDER) {
            HWND edit = control_window(ID_FOLDER_EDIT);
            SetFocus(edit);
            SendMessageA(edit, EM_SETSEL, 0, -1);
        } else if (page == PAGE_LOGIN || page == PAGE_NONE) {
            SetFocus(control_window(ID_LOGIN));
        }
    }
    InvalidateRect(window, nullptr, FALSE);
}

// The main page and the update run, without writing a choice.
static void show_main_page_and_run() {
    HWND window = main_window();
    window_ui.page = PAGE_MAIN;
    show_page_controls(PAGE_MAIN);
    resize_client(page_client_height(PAGE_MAIN));
    KillTimer(window, TIMER_PLAYERS);
    arrive_on_main_page();
    InvalidateRect(window, nullptr, FALSE);
    // A new run must be followed from its start, not from the outcome of an earlier one.
    if (!update_started) window_ui.outcome_tick = 0;
    start_update_run();
}

// The choice being written by the busy window's worker: set before it starts, read after it ended.
struct ChoiceWork {
    int choice;
    bool saved;
};

static ChoiceWork choice_work;

static void write_choice_on_worker(void*) {
    choice_work.saved = write_server_choice(choice_work.choice);
}

static void after_choice_written(void*) {
    // On failure the player is warned and the earlier choice stays.
    if (choice_work.saved) {
        launcher.server_choice = choice_work.choice;
    } else {
        warn_server_choice_not_saved();
    }
    end_busy();
    show_main_page_and_run();
}

void enter_main_page(int choice) {
    // zandor.ini is written with patient retries (a scanner may hold it): on a worker.
    if (window_busy()) return;
    begin_busy(nullptr);
    choice_work = ChoiceWork{choice, false};
    if (!run_busy_work(write_choice_on_worker, after_choice_written, nullptr)) end_busy();
}

void show_main_page_after_login() {
    if (launcher.server_choice != SERVER_NOT_CHOSEN || !launcher.play_game) {
        show_main_page_and_run();
    } else {
        show_page(PAGE_SERVER);
    }
}
