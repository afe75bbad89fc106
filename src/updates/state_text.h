// The update state records and their exact JSON text: installed.json (what is installed, staged and
// seen) and boot.json (a newly installed DLL on probation). Portable.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "updates/part_kinds.h"

#define STATE_DIGEST_CAP 129  // 128 lower-case hex characters
#define STATE_CHANNEL_CAP 32
#define STATE_PATH_CAP 260
// Buffer size the state texts are built in.
#define STATE_TEXT_CAP 4096

struct InstalledState {
    char channel[STATE_CHANNEL_CAP];
    uint64_t highest_release_seen;  // never lowered
    uint64_t installed_release;
    uint64_t staged_release;  // 0 when nothing waits
    bool bots_wanted;         // set by another component; written back as read
    bool dll_managed;         // written, never read back
    uint32_t version[PART_KIND_COUNT];         // "%s_version"; 0 = none known
    uint32_t staged_version[PART_KIND_COUNT];  // "staged_%s_version"; 0 = none
    char dll_sha512[STATE_DIGEST_CAP];
    char bad_dll_sha512[STATE_DIGEST_CAP];
};

struct BootState {
    char pending_sha512[STATE_DIGEST_CAP];
    uint64_t pending_version;
    uint64_t attempts;  // raised by the client DLL; the launcher writes 0
    char previous_path[STATE_PATH_CAP];
    char previous_sha512[STATE_DIGEST_CAP];
    uint64_t previous_version;
};

// Whether any part waits in staging (a staged version other than 0).
bool any_part_waiting(const InstalledState* state);

// The JSON text of a state into buffer (cut at size).
void installed_state_to_text(const InstalledState* state, char* buffer, size_t size);
void boot_state_to_text(const BootState* state, char* buffer, size_t size);
// The checks of boot.json's values before the boot check acts on them.
// Exactly 128 hex characters (either letter case).
bool is_digest_hex(const char* text);
// The digits a-f of a digest in lower case, as the state files keep them.
void digest_hex_lower(char* text);
// path names a place inside folder: folder, a backslash, then non-empty names that do not end in a
// dot or a space (so no "." or "..") and hold no '/' or ':'. The letter case of the folder part does
// not count.
bool path_inside_folder(const char* path, const char* folder);

// Fills a state from a JSON text read leniently; missing members read as 0 or empty.
void installed_state_from_text(const char* text, InstalledState* state);
void boot_state_from_text(const char* text, BootState* state);
