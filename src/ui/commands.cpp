// The window's commands by control id. Commands that belong to the log-in flow and the folder page go
// through their hooks.
#include "ui/commands.h"

#include "core/launcher_state.h"
#include "core/log.h"
#include "core/text_table.h"
#include "ui/busy_action.h"
#include "ui/pages.h"
#include "ui/paint_pages.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"

static void run_hook(void (*hook)()) {
    if (hook) hook();
}

static void on_play_now() {
    // Enter reaches here as well: once pressed, the button stays pressed.
    if (!action_button_usable(ID_PLAY_NOW)) return;
    InterlockedExchange(&update_progress.stop, 1);
    window_ui.play_now_pressed = true;
    log_line("Play now pressed");
    enable_action_button(ID_PLAY_NOW, false);
    enable_action_button(ID_CHANGE_SERVER, false);
}

static void on_accept_terms() {
    enable_action_button(ID_ACCEPT_TERMS, false);
    set_login_status(lookup_text("Saving..."), false);
    run_hook(window_hooks.accept_terms_worker);
}

// Enter (IDOK from the dialog manager) does what the page's main button does.
static void on_enter(HWND window) {
    switch (window_ui.page) {
        case PAGE_FOLDER: {
            int target = GetFocus() == control_window(ID_BROWSE) ? ID_BROWSE : ID_USE_FOLDER;
            SendMessageA(window, WM_COMMAND, (WPARAM)target, 0);
            break;
        }
        case PAGE_LOGIN: on_command(window, ID_LOGIN); break;
        case PAGE_SERVER: on_command(window, ID_SERVER_CARD); break;
        case PAGE_MAIN: SendMessageA(window, WM_COMMAND, (WPARAM)ID_PLAY_NOW, 0); break;
        default: break;  // the terms page: nothing
    }
}

void on_command(HWND window, int id) {
    // While an action waits, nothing starts another (Enter and Space included).
    if (window_busy()) return;
    switch (id) {
        case IDOK: on_enter(window); break;
        case ID_LOGIN: run_hook(window_hooks.login_button); break;
        case ID_PLAY_NOW: on_play_now(); break;
        case ID_CHANGE_SERVER:
            log_line("Change server pressed");
            show_page(PAGE_SERVER);
            break;
        case ID_SERVER_CARD: enter_main_page(SERVER_ZANDOR); break;
        case ID_ANY_SERVER: enter_main_page(SERVER_ANY); break;
        case ID_LOGOUT:
        case ID_TERMS_LOGOUT: run_hook(window_hooks.log_out); break;
        case ID_ACCEPT_TERMS: on_accept_terms(); break;
        case ID_USE_FOLDER: run_hook(window_hooks.use_folder); break;
        case ID_BROWSE: run_hook(window_hooks.browse_folder); break;
        default: break;
    }
}
