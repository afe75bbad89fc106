// The patient file calls: one retry rule (hold errors, a short step, a bound) around each call.
#include "core/patient_files.h"

#include <string.h>

#include "core/file_system.h"
#include "core/text.h"

bool is_hold_error(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// True when path names the file this process runs from (which Windows keeps held while it runs).
static bool names_own_program(const char* path) {
    if (!path || !path[0]) return false;
    char own[PATH_CAP];
    DWORD length = GetModuleFileNameA(nullptr, own, sizeof own);
    if (length == 0 || length >= sizeof own) return false;
    char full[PATH_CAP];
    DWORD full_length = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (full_length == 0 || full_length >= sizeof full) return false;
    return text_equal_nocase(full, own);
}

void patience_begin(Patience* patience, const char* path, const char* other_path) {
    patience->started = GetTickCount();
    patience->hasty = names_own_program(path) || names_own_program(other_path);
}

bool patience_again(Patience* patience) {
    DWORD error = GetLastError();
    if (patience->hasty || !is_hold_error(error) || GetTickCount() - patience->started >= PATIENT_WAIT_MS) {
        return false;
    }
    Sleep(PATIENT_STEP_MS);
    SetLastError(error);
    return true;
}

// Access denied also answers a write to a name that a folder or a read-only file holds; no wait
// makes that pass. The error of the failed call is kept for the caller.
static bool refused_for_good(const char* path) {
    DWORD error = GetLastError();
    DWORD attributes = error == ERROR_ACCESS_DENIED ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    SetLastError(error);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0;
}

bool patient_move(const char* from, const char* to, DWORD flags) {
    Patience patience;
    patience_begin(&patience, from, to);
    bool moving_file = is_file(from);
    while (!MoveFileExA(from, to, flags)) {
        if (moving_file && to && refused_for_good(to)) return false;
        if (!patience_again(&patience)) return false;
    }
    return true;
}

bool patient_copy(const char* from, const char* to, bool fail_if_exists) {
    Patience patience;
    patience_begin(&patience, from, to);
    while (!CopyFileA(from, to, fail_if_exists ? TRUE : FALSE)) {
        if (refused_for_good(to)) return false;
        if (!patience_again(&patience)) return false;
    }
    return true;
}

bool patient_delete(const char* path) {
    Patience patience;
    patience_begin(&patience, path, nullptr);
    while (!DeleteFileA(path)) {
        if (refused_for_good(path)) return false;
        if (!patience_again(&patience)) return false;
    }
    return true;
}

bool patient_remove_folder(const char* path) {
    Patience patience;
    patience_begin(&patience, path, nullptr);
    while (!RemoveDirectoryA(path)) {
        if (!patience_again(&patience)) return false;
    }
    return true;
}

HANDLE patient_open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    Patience patience;
    patience_begin(&patience, path, nullptr);
    bool folder_wanted = (flags & FILE_FLAG_BACKUP_SEMANTICS) != 0;
    for (;;) {
        HANDLE file = CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (!folder_wanted && refused_for_good(path)) return INVALID_HANDLE_VALUE;
        if (!patience_again(&patience)) return INVALID_HANDLE_VALUE;
    }
}
