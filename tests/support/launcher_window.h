// Finding a launcher's window from another process: the visible top-level window of the launcher's
// window class that the process owns. One home for the tests and the window benchmark (header only,
// so the benchmark links none of the tests' library).
#pragma once

#include <windows.h>
#include <string.h>

struct LauncherWindowSearch {
    DWORD process_id;
    HWND found;
};

static inline BOOL CALLBACK look_for_launcher_window(HWND window, LPARAM context) {
    auto* search = (LauncherWindowSearch*)context;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (owner == search->process_id && IsWindowVisible(window) && strcmp(name, "ZANDOR_Launcher_Window") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The process's visible launcher window now, or null.
static inline HWND find_launcher_window(DWORD process_id) {
    LauncherWindowSearch search = {process_id, nullptr};
    EnumWindows(look_for_launcher_window, (LPARAM)&search);
    return search.found;
}
