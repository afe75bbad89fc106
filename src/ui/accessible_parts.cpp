// The window's parts for screen readers, page by page, from the same state and texts the paint
// routine draws.
#include "ui/accessible_parts.h"

#include <oleacc.h>

#include "core/launcher_state.h"
#include "core/shared_counter.h"
#include "core/text.h"
#include "core/text_table.h"
#include "ui/keyboard_focus.h"
#include "ui/paint_tools.h"
#include "ui/server_cards.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"
#include "web/web_lookups.h"

int progress_percent(bool run_done, unsigned long long done_bytes, unsigned long long total_bytes) {
    if (run_done) return 100;
    if (total_bytes == 0) return 0;
    return (int)((done_bytes < total_bytes ? done_bytes : total_bytes) * 100 / total_bytes);
}

bool painted_link(int action, RECT* rect) {
    for (int i = 0; i < window_ui.link_count; i++) {
        if (window_ui.links[i].action != action) continue;
        *rect = window_ui.links[i].rect;
        return true;
    }
    return false;
}

static AccessiblePart* add_part(PartList* list, int kind, long role, const char* name, RECT rect) {
    if (list->count >= PART_CAP) return nullptr;
    AccessiblePart* part = &list->parts[list->count++];
    *part = AccessiblePart{};
    part->kind = kind;
    part->role = role;
    copy_text(part->name, sizeof part->name, name);
    part->rect = rect;
    return part;
}

// A painted text; an empty one is not painted and is left out.
static void add_text(PartList* list, const char* text, int left, int top, int right, int bottom) {
    if (text && text[0]) add_part(list, PART_TEXT, ROLE_SYSTEM_STATICTEXT, text, scaled_rect(left, top, right, bottom));
}

static void add_title(PartList* list, const char* source) {
    add_text(list, lookup_text(source), 26, 88, 576, 124);
}

// A link is listed when the last paint drew it, where it drew it.
static void add_link(PartList* list, int action, const char* source) {
    RECT rect;
    if (!painted_link(action, &rect)) return;
    AccessiblePart* part = add_part(list, PART_LINK, ROLE_SYSTEM_LINK, lookup_text(source), rect);
    if (part) part->link = action;
}

static void add_control(PartList* list, int id) {
    HWND control = control_window(id);
    if (!control || !IsWindowVisible(control)) return;
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, main_window(), (POINT*)&rect, 2);
    char caption[200] = "";
    GetWindowTextA(control, caption, sizeof caption);
    long role = id == ID_FOLDER_EDIT ? ROLE_SYSTEM_TEXT : ROLE_SYSTEM_PUSHBUTTON;
    AccessiblePart* part = add_part(list, PART_CONTROL, role, caption, rect);
    if (part) part->control = id;
}

static void list_header(PartList* list) {
    add_text(list, "ZANDOR", 22, 12, 300, 70);
    const char* right = (login_view.logged_in && window_ui.page == PAGE_MAIN) ? login_view.display_name : "LAUNCHER";
    add_text(list, right, 330, 30, 578, 58);
}

static void list_login_page(PartList* list) {
    add_title(list, "Log in");
    if (login_view.browser_waiting) {
        add_text(list,
                 lookup_text("Your browser is open: sign in with Google there. The page shows this code - check that "
                             "it is the same:"),
                 44, 142, 556, 190);
        add_text(list, login_view.user_code, 44, 192, 556, 250);
        add_text(list, lookup_text("Waiting for your browser..."), 44, 252, 556, 274);
        add_link(list, LINK_REOPEN_LOGIN, "Open the page again");
    } else {
        add_text(list,
                 lookup_text("ZANDOR accounts log in with Google. Your browser opens; sign in there, then come back "
                             "here."),
                 44, 142, 556, 196);
        add_text(list, window_ui.login_status, 44, 254, 556, 310);
    }
    add_control(list, ID_LOGIN);
    add_link(list, LINK_SIGNUP, "No account yet? Make one");
    add_link(list, LINK_HELP, "Need help?");
    add_text(list, lookup_text("By logging in you accept the ZANDOR terms."), 24, 394, 400, 414);
    add_link(list, LINK_TERMS, "Read the terms");
    add_link(list, LINK_UNINSTALL, "Uninstall ZANDOR");
}

static void list_server_page(PartList* list) {
    add_title(list, "Where do you want to play?");
    add_control(list, ID_SERVER_CARD);
    add_control(list, ID_ANY_SERVER);
    add_text(list,
             lookup_text("Your game keeps the server it uses now. The ZANDOR extras (8-player rooms, the relay, bot "
                         "takeover, the calm camera ...) still work there, and updates still come from ZANDOR."),
             24, 408, 576, 460);
    add_text(list, lookup_text("You can change this later: \"Change server\" in this window."), 24, 464, 576, 484);
}

static void list_main_page(PartList* list) {
    char account[200];
    if (login_view.logged_in) {
        format_text(account, sizeof account, lookup_text("Logged in as %s"), login_view.display_name);
    } else {
        copy_text(account, sizeof account, lookup_text("Not logged in"));
    }
    add_text(list, account, 44, 104, 556, 126);
    add_text(list, window_ui.server_line, 44, 128, 556, 150);
    // Listed even while empty: it is where the update's news appear.
    add_part(list, PART_STATUS, ROLE_SYSTEM_STATUSBAR, window_ui.status_text, scaled_rect(44, 156, 556, 236));
    if (launcher.update_checked) {
        AccessiblePart* bar = add_part(list, PART_PROGRESS, ROLE_SYSTEM_PROGRESSBAR, lookup_text("Update progress"),
                                       scaled_rect(44, 242, 556, 258));
        int percent = progress_percent(update_done != 0, counter_read(&update_progress.done_bytes),
                                       counter_read(&update_progress.total_bytes));
        if (bar) format_text(bar->value, sizeof bar->value, "%d %%", percent);
    }
    add_control(list, ID_CHANGE_SERVER);
    add_control(list, ID_LOGOUT);
    add_control(list, ID_PLAY_NOW);
    add_link(list, LINK_UNINSTALL, "Uninstall ZANDOR");
    if (login_view.not_you_offered) add_link(list, LINK_NOT_YOU, "Not you? Log in with another account");
}

static void list_terms_page(PartList* list) {
    add_title(list, "New ZANDOR terms");
    add_text(list,
             lookup_text("The ZANDOR terms have changed. New: match data. When you play with ZANDOR, your matches are "
                         "recorded (match events, your controller inputs, the players' and the ball's positions, the "
                         "results and the connection quality) and sent to the ZANDOR server, to find cheating and to "
                         "train the ZANDOR bots. No files are taken from your PC. Please read the terms and accept "
                         "them to go on."),
             44, 142, 556, 284);
    add_link(list, LINK_TERMS, "Read the terms");
    add_control(list, ID_TERMS_LOGOUT);
    add_control(list, ID_ACCEPT_TERMS);
    add_text(list, window_ui.login_status, 24, 384, 576, 400);
}

static void list_folder_page(PartList* list) {
    add_title(list, "Where is your PES6?");
    add_text(list,
             lookup_text("ZANDOR did not find pes6.exe next to the launcher or in the usual folder (Program Files "
                         "(x86)\\KONAMI\\Pro Evolution Soccer 6). Paste the folder where pes6.exe is (or the full "
                         "path of pes6.exe), or click Browse... to find it."),
             44, 140, 556, 212);
    add_text(list, lookup_text("PES6 folder:"), 44, 214, 556, 232);
    add_control(list, ID_FOLDER_EDIT);
    add_control(list, ID_BROWSE);
    add_text(list, window_ui.folder_message, 44, 274, 556, 296);
    add_control(list, ID_USE_FOLDER);
}

static void list_main_window(HWND window, PartList* list) {
    list->self.kind = PART_WINDOW;
    list->self.role = ROLE_SYSTEM_CLIENT;
    GetWindowTextA(window, list->self.name, sizeof list->self.name);
    GetClientRect(window, &list->self.rect);
    list_header(list);
    switch (window_ui.page) {
        case PAGE_LOGIN: list_login_page(list); break;
        case PAGE_SERVER: list_server_page(list); break;
        case PAGE_MAIN: list_main_page(list); break;
        case PAGE_TERMS: list_terms_page(list); break;
        case PAGE_FOLDER: list_folder_page(list); break;
        default: break;
    }
}

// A card's texts, in its own client coordinates, where the card painting puts them.
static void list_card_texts(int id, RECT card, PartList* list) {
    if (id == ID_SERVER_CARD) {
        add_part(list, PART_TEXT, ROLE_SYSTEM_STATICTEXT, lookup_text("RECOMMENDED"),
                 RECT{card.right - scale(150), card.top + scale(16), card.right - scale(18), card.top + scale(40)});
        char players[120];
        if (players_line(players_online_count(), players, sizeof players)) {
            add_part(list, PART_TEXT, ROLE_SYSTEM_STATICTEXT, players,
                     RECT{card.left + scale(42), card.top + scale(16), card.right - scale(160), card.top + scale(40)});
        }
        add_part(list, PART_TEXT, ROLE_SYSTEM_STATICTEXT,
                 lookup_text("Your game connects to the ZANDOR server. Rooms, 8-player matches and updates all come "
                             "from ZANDOR."),
                 RECT{card.left + scale(24), card.top + scale(98), card.right - scale(24), card.bottom - scale(16)});
    } else if (id == ID_ANY_SERVER) {
        add_part(list, PART_TEXT, ROLE_SYSTEM_STATICTEXT, lookup_text(ANY_SERVER_SUBTITLE),
                 RECT{card.left, card.top + scale(26), card.right, card.bottom - scale(4)});
    }
}

// A button: its caption is its name; a server card adds its other texts as children.
static void list_button(HWND button, PartList* list) {
    int id = GetDlgCtrlID(button);
    list->self.kind = PART_CONTROL;
    list->self.role = ROLE_SYSTEM_PUSHBUTTON;
    list->self.control = id;
    GetWindowTextA(button, list->self.name, sizeof list->self.name);
    GetClientRect(button, &list->self.rect);
    list_card_texts(id, list->self.rect, list);
}

// The link focus window stands for the focused link (in the main window's coordinates).
static void list_focused_link(PartList* list) {
    PartList page = {};
    list_main_window(main_window(), &page);
    list->self.kind = PART_LINK;
    list->self.role = ROLE_SYSTEM_LINK;
    for (int i = 0; i < page.count; i++) {
        if (page.parts[i].kind == PART_LINK && page.parts[i].link == focused_link()) list->self = page.parts[i];
    }
}

void list_window_parts(HWND window, PartList* list) {
    *list = PartList{};
    HWND main = main_window();
    if (!window || !main) return;
    if (window == main) {
        list_main_window(window, list);
    } else if (window == link_focus_window()) {
        list_focused_link(list);
    } else if (GetParent(window) == main) {
        list_button(window, list);
    }
}
