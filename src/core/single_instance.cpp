// The game folder's mutex, and finding the window of the launcher that holds it. Two spellings of
// one folder name one mutex: the key comes from the folder's identity where it can be read.
#include "core/single_instance.h"

#include <windows.h>
#include <stdint.h>
#include <string.h>

#include "core/file_system.h"
#include "core/text.h"

static const char* const WINDOW_MARK = "ZANDOR.GameFolder";

static uint64_t fnv_add(uint64_t key, const void* bytes, size_t length) {
    for (size_t i = 0; i < length; i++) {
        key ^= ((const unsigned char*)bytes)[i];
        key *= 0x100000001b3ull;
    }
    return key;
}

// The key from the path text, for a folder that cannot be opened: FNV-1a over the path lower-cased
// with CharLowerBuffA (the letters of the ANSI code page), trailing backslashes left out. The file
// system compares names case-blind by its own upper-case table, which agrees with this for those
// letters; a short name, another drive letter or a link still gives another key here, which is why
// the folder's identity comes first.
static uint64_t key_of_path(const char* game_folder) {
    char lower[PATH_CAP];
    copy_text(lower, sizeof lower, game_folder);
    size_t length = strlen(lower);
    while (length > 3 && lower[length - 1] == '\\') lower[--length] = 0;
    CharLowerBuffA(lower, (DWORD)length);
    return fnv_add(0xcbf29ce484222325ull, lower, length);
}

uint64_t game_folder_key(const char* game_folder) {
    HANDLE folder = CreateFileA(game_folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return key_of_path(game_folder);
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandle(folder, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                 (info.nFileIndexHigh | info.nFileIndexLow) != 0;
    CloseHandle(folder);
    if (!known) return key_of_path(game_folder);
    uint32_t identity[3] = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return fnv_add(0x84222325cbf29ce4ull, identity, sizeof identity);
}

// The mutex of this launcher's claim: kept open until the process ends, so the name stays taken.
static HANDLE folder_mutex;

bool claim_game_folder(const char* game_folder) {
    char name[96];
    format_text(name, sizeof name, "Local\\ZANDOR-Launcher-%016llx", (unsigned long long)game_folder_key(game_folder));
    // Owned by the calling thread: the system gives it up when that thread ends (also when the
    // process is killed), which is what a second start waits for.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name);
    if (!mutex) return true;  // without the mutex nothing can be told; the launcher goes on
    bool made = GetLastError() != ERROR_ALREADY_EXISTS;
    folder_mutex = mutex;  // an earlier claim's handle stays open too
    // A mutex that exists but that no running thread owns holds nobody's claim.
    return made || wait_for_game_folder(0);
}

bool wait_for_game_folder(unsigned long wait_ms) {
    if (!folder_mutex) return true;
    DWORD waited = WaitForSingleObject(folder_mutex, wait_ms);
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

// The mark's value: never zero, which GetPropA gives for a window without the mark.
static HANDLE mark_value(const char* game_folder) {
    uint64_t key = game_folder_key(game_folder);
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
