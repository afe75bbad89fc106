// The main window: class, creation, placement, the window procedure and the message loop.
#include "ui/window.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlwapi.h>

#include "core/game_start.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/system_dll.h"
#include "ui/accessible.h"
#include "ui/busy_action.h"
#include "ui/buttons.h"
#include "ui/commands.h"
#include "ui/controls.h"
#include "ui/links.h"
#include "ui/pages.h"
#include "ui/paint_pages.h"
#include "ui/status.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"
#include "web/web_lookups.h"

static const char CLASS_NAME[] = "ZANDOR_Launcher_Window";
static const DWORD WINDOW_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

static void read_dpi() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    window_ui.dpi = dpi < 96 ? 96 : dpi;
}

// Folder suggestions while the player types a path. Taken from the system folder's shlwapi.dll at
// run time; without it the edit box simply suggests nothing.
static void enable_folder_suggestions(HWND edit) {
    HMODULE shlwapi = load_system_dll("shlwapi.dll");
    if (!shlwapi) return;
    typedef HRESULT(WINAPI * AutoComplete)(HWND, DWORD);
    AutoComplete auto_complete = (AutoComplete)(void*)GetProcAddress(shlwapi, "SHAutoComplete");
    if (auto_complete) auto_complete(edit, SHACF_FILESYS_DIRS | SHACF_AUTOSUGGEST_FORCE_ON);
}

// The start step shows "Starting the game..." through this.
static void show_start_status(const char* text) {
    set_status_text(text);
}

void create_main_window(HINSTANCE instance) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    read_dpi();

    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.lpszClassName = CLASS_NAME;
    RegisterClassA(&window_class);

    RECT outer = {0, 0, scale(CLIENT_WIDTH), scale(MAIN_PAGE_HEIGHT)};
    AdjustWindowRectEx(&outer, WINDOW_STYLE, FALSE, 0);
    int width = outer.right - outer.left, height = outer.bottom - outer.top;
    // Placed for the tallest page, so that the window stays on screen when it grows.
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - scale(SERVER_PAGE_HEIGHT)) / 2 - 40;
    HWND window = CreateWindowExA(0, CLASS_NAME, "ZANDOR Launcher", WINDOW_STYLE, x, y, width, height, nullptr,
                                  nullptr, instance, nullptr);
    launcher.window = window;

    create_fonts();
    create_controls(instance);
    make_window_accessible(window, instance);
    CoInitialize(nullptr);
    enable_folder_suggestions(control_window(ID_FOLDER_EDIT));
    set_start_status_hook(show_start_status);
    window_hooks.link_action = run_link_action;
}

void open_window(HINSTANCE instance, int page) {
    if (!main_window()) create_main_window(instance);
    HWND window = main_window();
    show_page(page);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetTimer(window, TIMER_STATUS, TIMER_STATUS_MS, nullptr);
}

void run_message_loop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        HWND window = main_window();
        if (window && IsDialogMessageA(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

static void on_paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    paint_window(window, dc);
    EndPaint(window, &paint);
}

static void on_close(HWND window) {
    // An action half-way (an uninstall, say) is not cut off: the window closes when it has ended.
    if (keep_close_for_later()) return;
    log_line("window closed by the player: the game is not started");
    launcher.play_game = false;
    InterlockedExchange(&update_progress.stop, 1);
    DestroyWindow(window);
}

static int link_at(POINT point) {
    for (int i = 0; i < window_ui.link_count; i++) {
        if (PtInRect(&window_ui.links[i].rect, point)) return i;
    }
    return -1;
}

static bool on_set_cursor(HWND window, WPARAM wparam, LPARAM lparam) {
    if (LOWORD(lparam) != HTCLIENT || (HWND)wparam != window) return false;
    POINT point;
    GetCursorPos(&point);
    ScreenToClient(window, &point);
    if (link_at(point) < 0) return false;
    SetCursor(LoadCursorA(nullptr, IDC_HAND));
    return true;
}

static void on_left_button_up(LPARAM lparam) {
    POINT point = {(short)LOWORD(lparam), (short)HIWORD(lparam)};
    int hit = link_at(point);
    if (window_busy()) return;
    if (hit >= 0 && window_hooks.link_action) window_hooks.link_action(window_ui.links[hit].action);
}

static void on_timer(WPARAM id) {
    if (id == TIMER_STATUS) {
        status_tick();
    } else if (id == TIMER_PLAYERS) {
        if (window_ui.page == PAGE_SERVER) start_players_fetch();
    } else if (id == TIMER_LOGIN_POLL) {
        // No new poll while an action waits: a kept answer would be replaced by the next one.
        if (!window_busy() && window_hooks.login_poll_timer) window_hooks.login_poll_timer();
    }
}

static LRESULT on_edit_colour(HDC dc) {
    SetTextColor(dc, RGB(30, 28, 26));
    SetBkColor(dc, RGB(255, 255, 255));
    return (LRESULT)GetStockObject(WHITE_BRUSH);
}

static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT handled = 0;
    if (accessibility_message(window, message, wparam, lparam, &handled)) return handled;
    switch (message) {
        case WM_DESTROY:
            launcher.window = nullptr;  // no handle outlives its window
            PostQuitMessage(0);
            return 0;
        case WM_PAINT: on_paint(window); return 0;
        case WM_CLOSE: on_close(window); return 0;
        case WM_ERASEBKGND: return 1;  // painting covers the whole client
        case WM_SETCURSOR:
            if (on_set_cursor(window, wparam, lparam)) return 1;
            break;
        case WM_DRAWITEM: draw_owner_button((const DRAWITEMSTRUCT*)lparam); return 1;
        case WM_COMMAND: on_command(window, LOWORD(wparam)); return 0;
        case WM_TIMER: on_timer(wparam); return 0;
        case WM_CTLCOLOREDIT: return on_edit_colour((HDC)wparam);
        case WM_LBUTTONUP: on_left_button_up(lparam); return 0;
        default:
            if (message == WM_LOGIN_DONE) {
                if (keep_message_for_later(message)) return 0;
                if (window_hooks.login_done) window_hooks.login_done();
                return 0;
            }
            if (message == WM_BUSY_WORK_DONE) {
                on_busy_work_done();
                return 0;
            }
            if (message == WM_PLAYERS_ONLINE) {
                if (window_ui.page == PAGE_SERVER) InvalidateRect(control_window(ID_SERVER_CARD), nullptr, FALSE);
                return 0;
            }
            break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
