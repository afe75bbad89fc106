// Member names and order of installed.json and boot.json.
#include "updates/state_text.h"

#include <string.h>

#include "core/text.h"
#include "updates/json_text.h"

static void version_names(int kind, char* name, size_t name_size, char* staged, size_t staged_size) {
    format_text(name, name_size, "%s_version", part_kind_name(kind));
    format_text(staged, staged_size, "staged_%s_version", part_kind_name(kind));
}

void installed_state_to_text(const InstalledState* state, char* buffer, size_t size) {
    json_begin(buffer, size);
    json_put_string(buffer, size, "channel", state->channel);
    json_put_number(buffer, size, "highest_release_seen", state->highest_release_seen);
    json_put_number(buffer, size, "installed_release", state->installed_release);
    json_put_number(buffer, size, "staged_release", state->staged_release);
    json_put_number(buffer, size, "bots_wanted", state->bots_wanted ? 1 : 0);
    json_put_number(buffer, size, "dll_managed", state->dll_managed ? 1 : 0);
    for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
        char name[40], staged[40];
        version_names(kind, name, sizeof name, staged, sizeof staged);
        json_put_number(buffer, size, name, state->version[kind]);
        json_put_number(buffer, size, staged, state->staged_version[kind]);
    }
    json_put_string(buffer, size, "dll_sha512", state->dll_sha512);
    json_put_string(buffer, size, "bad_dll_sha512", state->bad_dll_sha512);
    json_put_end(buffer, size);
}

void installed_state_from_text(const char* text, InstalledState* state) {
    memset(state, 0, sizeof *state);
    json_get_string(text, "channel", state->channel, sizeof state->channel);
    state->highest_release_seen = json_get_number(text, "highest_release_seen");
    state->installed_release = json_get_number(text, "installed_release");
    state->staged_release = json_get_number(text, "staged_release");
    state->bots_wanted = json_get_number(text, "bots_wanted") != 0;
    state->dll_managed = json_get_number(text, "dll_managed") != 0;
    for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
        char name[40], staged[40];
        version_names(kind, name, sizeof name, staged, sizeof staged);
        state->version[kind] = (uint32_t)json_get_number(text, name);
        state->staged_version[kind] = (uint32_t)json_get_number(text, staged);
    }
    json_get_string(text, "dll_sha512", state->dll_sha512, sizeof state->dll_sha512);
    json_get_string(text, "bad_dll_sha512", state->bad_dll_sha512, sizeof state->bad_dll_sha512);
}

void boot_state_to_text(const BootState* state, char* buffer, size_t size) {
    json_begin(buffer, size);
    json_put_string(buffer, size, "pending_sha512", state->pending_sha512);
    json_put_number(buffer, size, "pending_version", state->pending_version);
    json_put_number(buffer, size, "attempts", state->attempts);
    json_put_string(buffer, size, "previous_path", state->previous_path);
    json_put_string(buffer, size, "previous_sha512", state->previous_sha512);
    json_put_number(buffer, size, "previous_version", state->previous_version);
    json_put_end(buffer, size);
}

void boot_state_from_text(const char* text, BootState* state) {
    memset(state, 0, sizeof *state);
    json_get_string(text, "pending_sha512", state->pending_sha512, sizeof state->pending_sha512);
    state->pending_version = json_get_number(text, "pending_version");
    state->attempts = json_get_number(text, "attempts");
    json_get_string(text, "previous_path", state->previous_path, sizeof state->previous_path);
    json_get_string(text, "previous_sha512", state->previous_sha512, sizeof state->previous_sha512);
    state->previous_version = json_get_number(text, "previous_version");
}

bool any_part_waiting(const InstalledState* state) {
    for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
        if (state->staged_version[kind] != 0) return true;
    }
    return false;
}

bool is_digest_hex(const char* text) {
    size_t n = 0;
    for (; text[n]; n++) {
        char c = text[n];
        bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex || n >= 128) return false;
    }
    return n == 128;
}

void digest_hex_lower(char* text) {
    for (; *text; text++) {
        if (*text >= 'A' && *text <= 'F') *text = (char)(*text - 'A' + 'a');
    }
}

bool path_inside_folder(const char* path, const char* folder) {
    size_t n = strlen(folder);
    if (n == 0) return false;
    for (size_t i = 0; i < n; i++) {
        if (ascii_lower(path[i]) != ascii_lower(folder[i])) return false;
    }
    const char* rest = path + n;
    if (*rest != '\\') return false;
    rest++;
    // Every name after the folder: not empty, not ending in a dot or a space (Windows drops those, so
    // ".. " would lead up), and no other separator or a drive or stream colon.
    while (true) {
        size_t length = strcspn(rest, "\\");
        if (length == 0 || rest[length - 1] == '.' || rest[length - 1] == ' ') return false;
        for (size_t i = 0; i < length; i++) {
            if (rest[i] == '/' || rest[i] == ':') return false;
        }
        if (rest[length] == 0) return true;
        rest += length + 1;
    }
}
