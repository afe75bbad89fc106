// What the window does for each WM_COMMAND: the buttons, the cards and Enter.
#pragma once

#include <windows.h>

// Dispatches on the control id (the notification code is ignored).
void on_command(HWND window, int id);
