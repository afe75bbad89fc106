// The game folder's mutex, and finding the window of the launcher that holds it.
#include "core/single_instance.h"

#include <windows.h>
#include <stdint.h>
#include <string.h>

#include "core/file_system.h"
#include "core/text.h"

static const char* const WINDOW_MARK = "ZANDOR.GameFolder";

// A key for the folder: FNV-1a over its path in lower case (locale-aware, as the file system
// compares names), trailing backslashes left out.
static uint64_t folder_key(const char* game_folder) {
    char lower[PATH_CAP];
    copy_text(lower, sizeof lower, game_folder);
    size_t length = strlen(lower);
    while (length > 3 && lower[length - 1] == '\\') lower[--length] = 0;
    CharLowerBuffA(lower, (DWORD)length);
    uint64_t key = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < length; i++) {
        key ^= (unsigned char)lower[i];
        key *= 0x100000001b3ull;
    }
    return key;
}

bool claim_game_folder(const char* game_folder) {
    char name[96];
    format_text(name, sizeof name, "Local\\ZANDOR-Launcher-%016llx", (unsigned long long)folder_key(game_folder));
    // Kept open until the process ends: the system closes it then, so a launcher that was killed
    // never blocks the next one.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (!mutex) return true;  // without the mutex nothing can be told; the launcher goes on
    return GetLastError() != ERROR_ALREADY_EXISTS;
}

// The mark's value: never zero, which GetPropA gives for a window without the mark.
static HANDLE mark_value(const char* game_folder) {
    uint64_t key = folder_key(game_folder);
    return (HANDLE)(uintptr_t)(((uint32_t)(key ^ (key >> 32))) | 1u);
}

void mark_launcher_window(void* window, const char* game_folder) {
    if (window) SetPropA((HWND)window, WINDOW_MARK, mark_value(game_folder));
}

struct WindowSearch {
    HANDLE mark;
    HWND found;
};

static BOOL CALLBACK look_at_window(HWND window, LPARAM context) {
    WindowSearch* search = (WindowSearch*)context;
    if (GetPropA(window, WINDOW_MARK) != search->mark) return TRUE;
    search->found = window;
    return FALSE;
}

bool bring_launcher_window_forward(const char* game_folder) {
    WindowSearch search = {mark_value(game_folder), nullptr};
    EnumWindows(look_at_window, (LPARAM)&search);
    if (!search.found) return false;
    if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
    SetForegroundWindow(search.found);
    return true;
}
