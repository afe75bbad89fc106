// The window tests' shared fixture and screen helpers.
#include "ui_test_support.h"

#include <stdlib.h>

#include "core/launcher_state.h"
#include "core/message_box.h"
#include "core/text.h"
#include "core/text_table.h"
#include "support/test_support.h"
#include "ui/busy_action.h"
#include "ui/pages.h"
#include "ui/window.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"

std::string WindowTest::game_folder;

int expected_dpi() {
    const char* value = getenv("ZANDOR_TEST_DPI");
    return value && atoi(value) > 0 ? atoi(value) : 96;
}

void pump_messages(unsigned ms) {
    DWORD end = GetTickCount() + ms;
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            HWND window = main_window();
            if (window && IsDialogMessageA(window, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    } while ((long)(GetTickCount() - end) < 0);
}

void pump_until_not_busy(unsigned ms) {
    for (unsigned waited = 0; window_busy() && waited < ms; waited += 20) pump_messages(20);
}

Shot take_shot() {
    HWND window = main_window();
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    pump_messages(60);
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    Shot shot;
    shot.width = client.right;
    shot.height = client.bottom;
    shot.pixels = copy_screen(origin.x, origin.y, shot.width, shot.height);
    return shot;
}

bool save_window_bmp(const std::string& path) {
    HWND window = main_window();
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    pump_messages(80);
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    int width = client.right, height = client.bottom;
    std::vector<COLORREF> pixels = copy_screen(origin.x, origin.y, width, height);

    std::string bytes;
    int row = width * 3 + (4 - width * 3 % 4) % 4;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = (DWORD)(row * height);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    bytes.append((const char*)&file, sizeof file);
    bytes.append((const char*)&header, sizeof header);
    for (int y = height - 1; y >= 0; y--) {
        std::string line((size_t)row, '\0');
        for (int x = 0; x < width; x++) {
            COLORREF c = pixels[(size_t)y * width + x];
            line[x * 3] = (char)GetBValue(c);
            line[x * 3 + 1] = (char)GetGValue(c);
            line[x * 3 + 2] = (char)GetRValue(c);
        }
        bytes += line;
    }
    return write_file(path, bytes);
}

RECT control_rect(int id) {
    RECT rect;
    GetWindowRect(control_window(id), &rect);
    MapWindowPoints(nullptr, main_window(), (POINT*)&rect, 2);
    return rect;
}

RECT client_rect() {
    RECT rect;
    GetClientRect(main_window(), &rect);
    return rect;
}

bool near_colour(COLORREF actual, COLORREF expected, int tolerance) {
    return abs((int)GetRValue(actual) - (int)GetRValue(expected)) <= tolerance &&
           abs((int)GetGValue(actual) - (int)GetGValue(expected)) <= tolerance &&
           abs((int)GetBValue(actual) - (int)GetBValue(expected)) <= tolerance;
}

std::string colour_text(COLORREF colour) {
    char text[32];
    format_text(text, sizeof text, "(%d, %d, %d)", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}

static int answer_any_box(void*, const char*, unsigned) {
    return IDOK;
}

void WindowTest::SetUpTestSuite() {
    game_folder = make_temp_folder("ui");
    set_message_box_answer(answer_any_box);
}

void WindowTest::TearDownTestSuite() {
    if (main_window()) DestroyWindow(main_window());
    pump_messages(50);
    set_message_box_answer(nullptr);
    remove_tree(game_folder);
}

void WindowTest::SetUp() {
    // The previous test may have ended the window (start step, close box): a fresh one then.
    if (!main_window()) {
        launcher_state_reset();
        copy_text(launcher.update_paths.game_folder, PATH_CAP, game_folder.c_str());
        join_path(launcher.settings_path, sizeof launcher.settings_path, game_folder.c_str(), "zandor.ini");
        open_window(GetModuleHandleA(nullptr), PAGE_MAIN);
    }
    HWND window = main_window();
    ASSERT_NE(window, nullptr);
    end_busy();  // a test that failed half-way through a busy action leaves nothing behind
    KillTimer(window, TIMER_STATUS);
    launcher.play_game = true;
    launcher.start_step_taken = false;
    launcher.update_checked = false;
    launcher.server_choice = 0;
    update_started = false;
    update_done = 0;
    update_progress = UpdateProgress{};
    window_ui.play_now_pressed = false;
    window_ui.outcome_tick = 0;
    window_ui.status_text[0] = 0;
    login_view = LoginView{};
    window_hooks = WindowHooks{};
    EnableWindow(control_window(ID_PLAY_NOW), TRUE);
    EnableWindow(control_window(ID_CHANGE_SERVER), TRUE);
    show_page(PAGE_MAIN);
    pump_messages(20);
}

void WindowTest::TearDown() {
    update_started = false;
}
