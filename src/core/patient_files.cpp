// The patient file calls: one retry rule (hold errors, a short step, a bound) around each call, and
// the test that tells a passing hold from a lasting refusal.
#include "core/patient_files.h"

#include <aclapi.h>
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

void patience_begin(Patience* patience, const char* changed) {
    patience->started = GetTickCount();
    patience->hasty = names_own_program(changed);
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

// Access denied stands for the status of the system call behind it: the one that passes by itself
// is a file being deleted (still named until its last handle closes).
static bool last_status_is_delete_pending() {
    typedef LONG(WINAPI * LastStatus)(void);
    static LastStatus last_status =
        (LastStatus)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetLastNtStatus");
    const LONG STATUS_DELETE_PENDING_CODE = (LONG)0xC0000056L;
    return last_status && last_status() == STATUS_DELETE_PENDING_CODE;
}

bool security_refuses(void* security_descriptor, DWORD rights) {
    if (!security_descriptor) return false;
    HANDLE token = nullptr, impersonation = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_DUPLICATE, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token)) {
        return false;
    }
    bool refused = false;
    if (DuplicateToken(token, SecurityImpersonation, &impersonation)) {
        GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
        MapGenericMask(&rights, &mapping);
        PRIVILEGE_SET privileges;
        DWORD privileges_size = sizeof privileges, granted = 0;
        BOOL allowed = FALSE;
        if (AccessCheck(security_descriptor, impersonation, rights, &mapping, &privileges, &privileges_size, &granted,
                        &allowed)) {
            refused = !allowed;
        }
        CloseHandle(impersonation);
    }
    CloseHandle(token);
    return refused;
}

// Whether the access list of path refuses us rights; false when it cannot be read.
static bool access_list_refuses(const char* path, DWORD rights) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path, SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    bool refused = security_refuses(descriptor, rights);
    LocalFree(descriptor);
    return refused;
}

// A name may be taken away (deleted, renamed, replaced) with DELETE on it or with the right to
// delete children in its folder.
static bool taking_away_refused(const char* path) {
    if (!access_list_refuses(path, DELETE)) return false;
    char folder[PATH_CAP];
    copy_text(folder, sizeof folder, path);
    char* last = strrchr(folder, '\\');
    if (!last) return true;
    *last = 0;
    if (last == folder || last[-1] == ':') append_text(folder, sizeof folder, "\\");
    return access_list_refuses(folder, FILE_DELETE_CHILD);
}

bool access_denied_for_good(PatientAct act, const char* path, const char* other) {
    DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED) return false;
    bool lasting = true;
    if (last_status_is_delete_pending()) {
        lasting = false;
    } else if (act == ACT_MOVE && is_folder(path)) {
        // Renaming a folder that holds an open file is refused while the file is open.
        lasting = taking_away_refused(path);
    } else if (act == ACT_MOVE_REPLACING && other && is_file(other)) {
        // Replacing a file that is open is refused while it is open.
        DWORD attributes = GetFileAttributesA(other);
        lasting = (attributes & FILE_ATTRIBUTE_READONLY) != 0 || taking_away_refused(other) ||
                  taking_away_refused(path);
    }
    SetLastError(error);
    return lasting;
}

bool patient_move(const char* from, const char* to, DWORD flags) {
    bool replacing = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
    Patience patience;
    patience_begin(&patience, replacing ? to : nullptr);
    while (!MoveFileExA(from, to, flags)) {
        if (access_denied_for_good(replacing ? ACT_MOVE_REPLACING : ACT_MOVE, from, to)) return false;
        if (!patience_again(&patience)) return false;
    }
    return true;
}

bool patient_copy(const char* from, const char* to, bool fail_if_exists) {
    Patience patience;
    patience_begin(&patience, to);
    while (!CopyFileA(from, to, fail_if_exists ? TRUE : FALSE)) {
        if (access_denied_for_good(ACT_WRITE, to, nullptr)) return false;
        if (!patience_again(&patience)) return false;
    }
    return true;
}

bool patient_delete(const char* path) {
    Patience patience;
    patience_begin(&patience, path);
    while (!DeleteFileA(path)) {
        if (access_denied_for_good(ACT_DELETE, path, nullptr)) return false;
        if (!patience_again(&patience)) return false;
    }
    return true;
}

bool patient_remove_folder(const char* path) {
    Patience patience;
    patience_begin(&patience, path);
    while (!RemoveDirectoryA(path)) {
        if (access_denied_for_good(ACT_DELETE, path, nullptr)) return false;
        if (!patience_again(&patience)) return false;
    }
    return true;
}

HANDLE patient_open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    const DWORD CHANGING = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE |
                           FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | WRITE_DAC | WRITE_OWNER;
    bool changing = (access & CHANGING) != 0 || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    Patience patience;
    patience_begin(&patience, changing ? path : nullptr);
    for (;;) {
        HANDLE file = CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (access_denied_for_good(changing ? ACT_WRITE : ACT_READ, path, nullptr)) return INVALID_HANDLE_VALUE;
        if (!patience_again(&patience)) return INVALID_HANDLE_VALUE;
    }
}
