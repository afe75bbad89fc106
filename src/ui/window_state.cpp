// The window's process-wide state and the scaling rule.
#include "ui/window_state.h"

#include "core/launcher_state.h"

WindowUi window_ui = {96};
LoginView login_view;
WindowHooks window_hooks;

int scale(int value) {
    return MulDiv(value, window_ui.dpi < 96 ? 96 : window_ui.dpi, 96);
}

HWND main_window() {
    return (HWND)launcher.window;
}

HWND control_window(int id) {
    HWND window = main_window();
    return window ? GetDlgItem(window, id) : nullptr;
}
