// Loading and saving the update state files: whole-file reads and atomic replacement.
#include "updates/state_files.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "core/log.h"
#include "core/patient_files.h"

bool read_whole_file(const char* path, size_t limit, char** text, size_t* length) {
    *text = nullptr;
    *length = 0;
    HANDLE file = patient_open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    bool ok = !(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) && high == 0 && low <= limit;
    char* buffer = ok ? (char*)malloc((size_t)low + 1) : nullptr;
    DWORD got = 0;
    ok = buffer && (low == 0 || (ReadFile(file, buffer, low, &got, nullptr) && got == low));
    CloseHandle(file);
    if (!ok) {
        free(buffer);
        return false;
    }
    buffer[low] = 0;
    *text = buffer;
    *length = low;
    return true;
}

// The full path of a file of the updates folder; false when it would not fit (a cut path names
// another file).
static bool state_path(const UpdatePaths* paths, const char* name, char* path) {
    return join_path(path, PATH_CAP, paths->updates_folder, name) ==
           strlen(paths->updates_folder) + 1 + strlen(name);
}

static bool load_text(const UpdatePaths* paths, const char* name, size_t limit, char** text,
                      size_t* length) {
    char path[PATH_CAP];
    *text = nullptr;
    *length = 0;
    return state_path(paths, name, path) && read_whole_file(path, limit, text, length);
}

// A state file that cannot be written (a full disk, say) keeps its previous content; the log names it.
static bool save_text(const UpdatePaths* paths, const char* name, const char* bytes, size_t length) {
    char path[PATH_CAP];
    if (!state_path(paths, name, path)) return false;
    if (write_file_atomic(path, bytes, length)) return true;
    DWORD error = GetLastError();
    log_line("cannot write %s (error %lu) - the previous %s is kept", path, (unsigned long)error, name);
    SetLastError(error);
    return false;
}

bool installed_state_load(const UpdatePaths* paths, InstalledState* state) {
    memset(state, 0, sizeof *state);
    char* text = nullptr;
    size_t length = 0;
    if (!load_text(paths, INSTALLED_STATE_FILE, STATE_FILE_LIMIT, &text, &length)) return false;
    installed_state_from_text(text, state);
    free(text);
    return true;
}

bool installed_state_save(const UpdatePaths* paths, const InstalledState* state) {
    char text[STATE_TEXT_CAP];
    installed_state_to_text(state, text, sizeof text);
    return save_text(paths, INSTALLED_STATE_FILE, text, strlen(text));
}

static bool boot_file_load(const UpdatePaths* paths, const char* name, BootState* state) {
    memset(state, 0, sizeof *state);
    char* text = nullptr;
    size_t length = 0;
    if (!load_text(paths, name, STATE_FILE_LIMIT, &text, &length)) return false;
    boot_state_from_text(text, state);
    free(text);
    return true;
}

static bool boot_file_save(const UpdatePaths* paths, const char* name, const BootState* state) {
    char text[STATE_TEXT_CAP];
    boot_state_to_text(state, text, sizeof text);
    return save_text(paths, name, text, strlen(text));
}

static bool state_file_remove(const UpdatePaths* paths, const char* name) {
    char path[PATH_CAP];
    if (!state_path(paths, name, path)) return false;
    return patient_delete(path) || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES;
}

bool boot_state_load(const UpdatePaths* paths, BootState* state) {
    return boot_file_load(paths, BOOT_STATE_FILE, state);
}

bool boot_state_save(const UpdatePaths* paths, const BootState* state) {
    return boot_file_save(paths, BOOT_STATE_FILE, state);
}

bool boot_state_remove(const UpdatePaths* paths) {
    return state_file_remove(paths, BOOT_STATE_FILE);
}

bool replaced_boot_state_load(const UpdatePaths* paths, BootState* state) {
    return boot_file_load(paths, REPLACED_BOOT_STATE_FILE, state);
}

bool replaced_boot_state_save(const UpdatePaths* paths, const BootState* state) {
    return boot_file_save(paths, REPLACED_BOOT_STATE_FILE, state);
}

bool replaced_boot_state_remove(const UpdatePaths* paths) {
    return state_file_remove(paths, REPLACED_BOOT_STATE_FILE);
}

bool replaced_boot_state_give_back(const UpdatePaths* paths) {
    char replaced[PATH_CAP], boot[PATH_CAP];
    if (!state_path(paths, REPLACED_BOOT_STATE_FILE, replaced) || !state_path(paths, BOOT_STATE_FILE, boot)) {
        return false;
    }
    return patient_move(replaced, boot, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool stored_manifest_load(const UpdatePaths* paths, const char* name, UpdateManifest* manifest,
                          char* error, size_t error_size) {
    manifest_clear(manifest);
    char* text = nullptr;
    size_t length = 0;
    if (!load_text(paths, name, MANIFEST_MAX_BYTES, &text, &length)) {
        if (error) format_text(error, error_size, "no %s", name);
        return false;
    }
    bool ok = manifest_parse(text, length, manifest, error, error_size);
    free(text);
    return ok;
}

bool stored_manifest_save(const UpdatePaths* paths, const char* name, const UpdateManifest* manifest) {
    if (!manifest->raw_text || manifest->raw_length == 0) return false;
    return save_text(paths, name, manifest->raw_text, manifest->raw_length);
}
