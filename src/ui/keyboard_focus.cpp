// The link focus window: the painted links in the Tab order, Enter and Space on them, the focus ring.
#include "ui/keyboard_focus.h"

#include "ui/accessible.h"
#include "ui/window_state.h"

static const char FOCUS_CLASS[] = "ZANDOR_Link_Focus";

struct LinkFocus {
    HWND window;
    HWND left_from;  // the child that had the focus when the window was last deactivated
    int action;  // the focused link's action; 0 while the focus is elsewhere
    bool for_reader;  // a screen reader is moving the focus, not the keyboard
};

static LinkFocus link_focus;

HWND link_focus_window() {
    return link_focus.window && IsWindow(link_focus.window) ? link_focus.window : nullptr;
}

int focused_link() {
    return link_focus_window() && GetFocus() == link_focus.window ? link_focus.action : 0;
}

static int link_index(int action) {
    for (int i = 0; i < window_ui.link_count; i++) {
        if (window_ui.links[i].action == action) return i;
    }
    return -1;
}

static bool focus_cues_shown() {
    HWND window = main_window();
    return window && (SendMessageA(window, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) == 0;
}

// The ring's rect: a little room around the link's text.
static RECT ring_rect(RECT link) {
    InflateRect(&link, scale(2), scale(1));
    return link;
}

static void invalidate_link(int action) {
    int i = link_index(action);
    if (i < 0 || !main_window()) return;
    RECT ring = ring_rect(window_ui.links[i].rect);
    InflateRect(&ring, 1, 1);
    InvalidateRect(main_window(), &ring, FALSE);
}

static void move_to_link(int action) {
    if (action == link_focus.action) return;
    invalidate_link(link_focus.action);
    link_focus.action = action;
    invalidate_link(action);
    if (GetFocus() == link_focus.window) announce_link_focus(action);
}

bool focus_link(int action) {
    if (!link_focus_window() || link_index(action) < 0) return false;
    link_focus.action = action;
    ShowWindow(link_focus.window, SW_SHOWNA);
    link_focus.for_reader = true;
    SetFocus(link_focus.window);
    link_focus.for_reader = false;
    return GetFocus() == link_focus.window;
}

// The keyboard was used on the links: show the focus cues from now on (the usual Windows rule).
static void show_focus_cues() {
    SendMessageA(link_focus.window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

static void activate_focused_link() {
    int action = link_focus.action;
    show_focus_cues();
    if (action && link_index(action) >= 0 && window_hooks.link_action) window_hooks.link_action(action);
}

// Tab stays on the links until the last one (Shift+Tab: the first), then the dialog manager moves on
// to the buttons.
static bool tab_stays_on_links(bool backwards) {
    int i = link_index(link_focus.action);
    return backwards ? i > 0 : i >= 0 && i + 1 < window_ui.link_count;
}

static LRESULT dialog_code(const MSG* message) {
    if (!message || message->message != WM_KEYDOWN) return DLGC_WANTCHARS;
    if (message->wParam == VK_TAB) return tab_stays_on_links(GetKeyState(VK_SHIFT) < 0) ? DLGC_WANTTAB : 0;
    if (message->wParam == VK_RETURN || message->wParam == VK_SPACE) return DLGC_WANTALLKEYS;
    return 0;
}

static void on_key_down(WPARAM key, LPARAM flags) {
    bool repeat = (flags & 0x40000000) != 0;
    if (key == VK_TAB) {
        bool backwards = GetKeyState(VK_SHIFT) < 0;
        int i = link_index(link_focus.action);
        if (i >= 0 && tab_stays_on_links(backwards)) move_to_link(window_ui.links[backwards ? i - 1 : i + 1].action);
        show_focus_cues();
    } else if (key == VK_RETURN && !repeat) {
        activate_focused_link();
    }
}

static void on_set_focus() {
    // Arriving by Tab the first link takes the focus, by Shift+Tab the last one.
    if (link_index(link_focus.action) < 0 && window_ui.link_count > 0) {
        bool backwards = GetKeyState(VK_SHIFT) < 0;
        link_focus.action = window_ui.links[backwards ? window_ui.link_count - 1 : 0].action;
    }
    // Only the keyboard (Tab) or a screen reader brings the focus here, never the mouse.
    if (!link_focus.for_reader) show_focus_cues();
    invalidate_link(link_focus.action);
    announce_link_focus(link_focus.action);
}

static LRESULT CALLBACK link_focus_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_GETDLGCODE: return dialog_code((const MSG*)lparam);
        case WM_KEYDOWN: on_key_down(wparam, lparam); return 0;
        case WM_KEYUP:
            if (wparam == VK_SPACE) activate_focused_link();  // as a button does, on the release
            return 0;
        case WM_CHAR: return 0;
        case WM_SETFOCUS: on_set_focus(); return 0;
        case WM_KILLFOCUS:
            invalidate_link(link_focus.action);
            // Another window of this one takes the focus: the link lets it go. Another program does:
            // the link gets it back when the window is active again.
            if ((HWND)wparam == main_window() || IsChild(main_window(), (HWND)wparam)) link_focus.action = 0;
            return 0;
        case WM_GETOBJECT: {
            LRESULT result = 0;
            if (answer_get_object(window, wparam, lparam, &result)) return result;
            break;
        }
        default: break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

void create_link_focus(HWND window, HINSTANCE instance) {
    WNDCLASSA focus_class = {};
    focus_class.lpfnWndProc = link_focus_procedure;
    focus_class.hInstance = instance;
    focus_class.lpszClassName = FOCUS_CLASS;
    RegisterClassA(&focus_class);
    // No size: it paints nothing and takes no clicks; the links are painted by the window.
    link_focus.window = CreateWindowExA(0, FOCUS_CLASS, "", WS_CHILD | WS_TABSTOP, 0, 0, 0, 0, window,
                                        (HMENU)(INT_PTR)ID_LINK_FOCUS, instance, nullptr);
    link_focus.action = 0;
    SendMessageA(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

void paint_link_focus(HDC dc) {
    HWND holder = link_focus_window();
    if (!holder) return;
    bool has_links = window_ui.link_count > 0;
    if (has_links != (IsWindowVisible(holder) != 0)) ShowWindow(holder, has_links ? SW_SHOWNA : SW_HIDE);
    if (GetFocus() != holder) return;
    int i = link_index(link_focus.action);
    if (i < 0 && has_links) {
        // The focused link went away (the page changed under it): the first link takes its place.
        link_focus.action = window_ui.links[0].action;
        announce_link_focus(link_focus.action);
        i = 0;
    }
    if (i >= 0 && focus_cues_shown()) {
        RECT ring = ring_rect(window_ui.links[i].rect);
        DrawFocusRect(dc, &ring);
    }
}

bool on_activate(HWND window, WPARAM wparam) {
    if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        link_focus.left_from = IsChild(window, focus) ? focus : nullptr;
        return false;
    }
    HWND back = link_focus.left_from;
    link_focus.left_from = nullptr;
    if (HIWORD(wparam) || !back || !IsChild(window, back) || !IsWindowVisible(back) || !IsWindowEnabled(back)) {
        return false;
    }
    SetFocus(back);
    return true;
}
