// Loading and saving the update state files.
#include "updates/state_files.h"

#include <stdlib.h>
#include <string.h>

#include "updates/whole_file.h"

static bool load_text(const UpdatePaths* paths, const char* name, size_t limit, char** text,
                      size_t* length) {
    char path[PATH_CAP];
    join_path(path, sizeof path, paths->updates_folder, name);
    return read_whole_file(path, limit, text, length);
}

static bool save_text(const UpdatePaths* paths, const char* name, const char* bytes, size_t length) {
    char path[PATH_CAP];
    join_path(path, sizeof path, paths->updates_folder, name);
    return write_file_atomic(path, bytes, length);
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

bool boot_state_load(const UpdatePaths* paths, BootState* state) {
    memset(state, 0, sizeof *state);
    char* text = nullptr;
    size_t length = 0;
    if (!load_text(paths, BOOT_STATE_FILE, STATE_FILE_LIMIT, &text, &length)) return false;
    boot_state_from_text(text, state);
    free(text);
    return true;
}

bool boot_state_save(const UpdatePaths* paths, const BootState* state) {
    char text[STATE_TEXT_CAP];
    boot_state_to_text(state, text, sizeof text);
    return save_text(paths, BOOT_STATE_FILE, text, strlen(text));
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
