// The fonts and the child controls of the window, created once.
#include "ui/controls.h"

#include <commctrl.h>

#include "core/text_table.h"
#include "ui/window_state.h"

struct FontStyle {
    const char* face;
    int height;
    int weight;
    bool italic;
};

// In FontId order.
static const FontStyle FONT_STYLES[FONT_COUNT] = {
    {"Arial", 44, 900, true},     {"Arial", 26, 700, true},     {"Segoe UI", 28, 700, false},
    {"Segoe UI", 16, 700, false}, {"Segoe UI", 15, 400, false}, {"Segoe UI", 13, 400, false},
    {"Segoe UI", 13, 700, false},
};

static const int NO_FONT = -1;

struct ControlLayout {
    int id;
    bool edit;
    const char* caption;  // source text
    int x, y, w, h;
    int font;
    int page;
};

// In creation order. "Use this folder" starts at (0, 0) and is moved when the folder page shows.
static const ControlLayout CONTROL_LAYOUTS[CONTROL_COUNT] = {
    {ID_LOGIN, false, "Log in with Google", 336, 318, 220, 44, FONT_BUTTON, PAGE_LOGIN},
    {ID_SERVER_CARD, false, "Play on the ZANDOR server", 24, 132, 552, 200, NO_FONT, PAGE_SERVER},
    {ID_ANY_SERVER, false, "Play on any server", 24, 348, 260, 52, FONT_BODY, PAGE_SERVER},
    {ID_ACCEPT_TERMS, false, "I accept", 406, 340, 170, 40, FONT_BUTTON, PAGE_TERMS},
    {ID_TERMS_LOGOUT, false, "Log out", 24, 340, 140, 40, FONT_BODY, PAGE_TERMS},
    {ID_CHANGE_SERVER, false, "Change server", 24, 290, 160, 38, FONT_BODY, PAGE_MAIN},
    {ID_LOGOUT, false, "Log out", 194, 290, 120, 38, FONT_BODY, PAGE_MAIN},
    {ID_PLAY_NOW, false, "Play now", 406, 290, 170, 38, FONT_BUTTON, PAGE_MAIN},
    {ID_FOLDER_EDIT, true, "", 44, 234, 392, 32, FONT_BODY, PAGE_FOLDER},
    {ID_BROWSE, false, "Browse...", 446, 232, 110, 36, FONT_BODY, PAGE_FOLDER},
    {ID_USE_FOLDER, false, "Use this folder", 0, 0, 240, 40, FONT_BUTTON, PAGE_FOLDER},
};

void create_fonts() {
    for (int i = 0; i < FONT_COUNT; i++) {
        const FontStyle& style = FONT_STYLES[i];
        window_ui.fonts[i] = CreateFontA(-scale(style.height), 0, 0, 0, style.weight, style.italic, FALSE, FALSE,
                                         ANSI_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                         DEFAULT_PITCH | FF_DONTCARE, style.face);
    }
}

void create_controls(HINSTANCE instance) {
    for (int i = 0; i < CONTROL_COUNT; i++) {
        const ControlLayout& control = CONTROL_LAYOUTS[i];
        DWORD style = WS_CHILD | WS_TABSTOP | (control.edit ? ES_AUTOHSCROLL : BS_OWNERDRAW);
        HWND child = CreateWindowExA(control.edit ? WS_EX_CLIENTEDGE : 0, control.edit ? "EDIT" : "BUTTON",
                                     lookup_text(control.caption), style, scale(control.x), scale(control.y), scale(control.w),
                                     scale(control.h), main_window(), (HMENU)(INT_PTR)control.id, instance, nullptr);
        window_ui.controls[i] = child;
        if (child && control.font != NO_FONT) SendMessageA(child, WM_SETFONT, (WPARAM)window_ui.fonts[control.font], TRUE);
    }
}

void show_page_controls(int page) {
    for (int i = 0; i < CONTROL_COUNT; i++) {
        if (window_ui.controls[i]) ShowWindow(window_ui.controls[i], CONTROL_LAYOUTS[i].page == page ? SW_SHOW : SW_HIDE);
    }
}
