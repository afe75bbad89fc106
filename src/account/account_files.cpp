// session.dat under DPAPI and the PC marker's four places.
#include "account/account_files.h"

#include <windows.h>
#include <wincrypt.h>
#include <shlobj.h>

#include <string.h>

#include "core/atomic_file.h"
#include "core/file_system.h"

static const char ACCOUNT_KEY[] = "Software\\zandor";
static const char MARKER_VALUE[] = "marker";
static const char SESSION_FILE[] = "session.dat";
static const int PLACE_FOLDERS[PLACE_COUNT] = {CSIDL_LOCAL_APPDATA, CSIDL_APPDATA, CSIDL_COMMON_APPDATA};
#define SESSION_FILE_LIMIT 4096
#define MARKER_READ_CAP 64

bool account_folder(int place, char* out, size_t capacity) {
    if (place < 0 || place >= PLACE_COUNT) return false;
    char known[PATH_CAP];
    if (FAILED(SHGetFolderPathA(nullptr, PLACE_FOLDERS[place], nullptr, 0, known))) return false;
    join_path(out, capacity, known, "zandor");
    return true;
}

bool marker_path(int place, char* out, size_t capacity) {
    char folder[PATH_CAP];
    if (!account_folder(place, folder, sizeof folder)) return false;
    join_path(out, capacity, folder, ".marker");
    return true;
}

bool session_path(char* out, size_t capacity) {
    char folder[PATH_CAP];
    if (!account_folder(PLACE_LOCAL, folder, sizeof folder)) return false;
    join_path(out, capacity, folder, SESSION_FILE);
    return true;
}

bool write_hidden_file(const char* path, const void* bytes, size_t length) {
    make_parent_dirs(path);
    return write_file_atomic_with(path, bytes, length, FILE_ATTRIBUTE_HIDDEN);
}

// Deletes a file whatever its attributes, together with the ".new" that a write killed half-way may
// have left beside it (it may hold the same secret); true when the file itself is gone.
static bool delete_with_leftover(const char* path) {
    char leftover[PATH_CAP];
    if (format_text(leftover, sizeof leftover, "%s.new", path) == strlen(path) + 4) {
        SetFileAttributesA(leftover, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(leftover);
    }
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

// Reads a file once, at most capacity bytes; gives the count or -1 when it does not open or read.
static long read_small_file(const char* path, void* out, DWORD capacity) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD got = 0;
    BOOL ok = ReadFile(file, out, capacity, &got, nullptr);
    CloseHandle(file);
    return ok ? (long)got : -1;
}

static DATA_BLOB session_entropy() {
    DATA_BLOB entropy;
    entropy.pbData = (BYTE*)SESSION_FIRST_LINE;
    entropy.cbData = (DWORD)strlen(SESSION_FIRST_LINE);
    return entropy;
}

bool save_login(const SavedLogin* login) {
    char text[SESSION_TEXT_CAP];
    size_t length = format_session_text(login, text, sizeof text);
    DATA_BLOB plain = {(DWORD)length, (BYTE*)text};
    DATA_BLOB entropy = session_entropy();
    DATA_BLOB sealed = {};
    bool ok = CryptProtectData(&plain, L"zandor session", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                               &sealed) != 0;
    if (ok) {
        char path[PATH_CAP];
        ok = session_path(path, sizeof path) && write_hidden_file(path, sealed.pbData, sealed.cbData);
        LocalFree(sealed.pbData);
    }
    wipe(text, sizeof text);
    return ok;
}

bool load_login(SavedLogin* login) {
    memset(login, 0, sizeof *login);
    char path[PATH_CAP];
    if (!session_path(path, sizeof path)) return false;
    static_assert(SESSION_FILE_LIMIT <= 4096, "read buffer on the stack");
    BYTE sealed[SESSION_FILE_LIMIT];
    long length = read_small_file(path, sealed, sizeof sealed);
    if (length <= 0 || length >= SESSION_FILE_LIMIT) return false;
    DATA_BLOB input = {(DWORD)length, sealed};
    DATA_BLOB entropy = session_entropy();
    DATA_BLOB plain = {};
    if (!CryptUnprotectData(&input, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &plain)) {
        return false;
    }
    char text[SESSION_TEXT_CAP];
    size_t copied = plain.cbData < sizeof text - 1 ? plain.cbData : sizeof text - 1;
    memcpy(text, plain.pbData, copied);
    text[copied] = 0;
    wipe(plain.pbData, plain.cbData);
    LocalFree(plain.pbData);
    bool ok = parse_session_text(text, login);
    wipe(text, sizeof text);
    return ok;
}

bool delete_saved_login() {
    char path[PATH_CAP];
    if (!session_path(path, sizeof path)) return false;
    return delete_with_leftover(path);
}

// The registry copy of the marker (REG_SZ only), at most 63 bytes; empty when there is none.
static void read_marker_value(HKEY key, char* out) {
    out[0] = 0;
    DWORD type = 0, size = MARKER_READ_CAP - 1;
    if (RegQueryValueExA(key, MARKER_VALUE, nullptr, &type, (BYTE*)out, &size) != ERROR_SUCCESS || type != REG_SZ) {
        out[0] = 0;
        return;
    }
    out[size < MARKER_READ_CAP ? size : MARKER_READ_CAP - 1] = 0;
}

// A place's marker file, at most 63 bytes; empty when there is none.
static void read_marker_file(int place, char* out) {
    out[0] = 0;
    char path[PATH_CAP];
    if (!marker_path(place, path, sizeof path)) return;
    long length = read_small_file(path, out, MARKER_READ_CAP - 1);
    out[length > 0 ? length : 0] = 0;
}

void collect_markers(char* out, size_t capacity) {
    MarkerList list = {};
    char candidate[MARKER_READ_CAP];
    for (int place = 0; place < PLACE_COUNT; place++) {
        read_marker_file(place, candidate);
        marker_list_add(&list, candidate);
    }
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ACCOUNT_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        read_marker_value(key, candidate);
        marker_list_add(&list, candidate);
        RegCloseKey(key);
    }
    marker_list_text(&list, out, capacity);
}

int store_marker(const char* marker) {
    if (!is_pc_marker(marker)) return 0;
    int stored = 0;
    for (int place = 0; place < PLACE_COUNT; place++) {
        char path[PATH_CAP];
        if (marker_path(place, path, sizeof path) && write_hidden_file(path, marker, strlen(marker))) stored++;
    }
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, ACCOUNT_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        if (RegSetValueExA(key, MARKER_VALUE, 0, REG_SZ, (const BYTE*)marker, (DWORD)strlen(marker) + 1) ==
            ERROR_SUCCESS) {
            stored++;
        }
        RegCloseKey(key);
    }
    return stored;
}

void forget_marker(const char* marker) {
    if (!marker[0]) return;
    char held[MARKER_READ_CAP];
    for (int place = 0; place < PLACE_COUNT; place++) {
        char path[PATH_CAP];
        if (!marker_path(place, path, sizeof path)) continue;
        read_marker_file(place, held);
        if (text_starts_with(held, marker)) delete_with_leftover(path);
    }
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ACCOUNT_KEY, 0, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &key) ==
        ERROR_SUCCESS) {
        read_marker_value(key, held);
        if (text_starts_with(held, marker)) RegDeleteValueA(key, MARKER_VALUE);
        RegCloseKey(key);
    }
}

void remove_account_files() {
    delete_saved_login();
    for (int place = 0; place < PLACE_COUNT; place++) {
        char folder[PATH_CAP], path[PATH_CAP];
        if (!account_folder(place, folder, sizeof folder)) continue;
        join_path(path, sizeof path, folder, ".marker");
        delete_with_leftover(path);
        if (place == PLACE_ROAMING) {
            join_path(path, sizeof path, folder, "launcher.ini");
            DeleteFileA(path);
        }
        RemoveDirectoryA(folder);
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, ACCOUNT_KEY);
}
