// The signed update manifest: what the current release holds, part by part and file by file.
// manifest_parse checks the Ed25519 signature with a built-in release key before it reads a single
// body line. Portable (no Windows headers).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "core/text.h"
#include "updates/part_kinds.h"

#define MANIFEST_MAX_BYTES 1048576u
#define MANIFEST_MAX_FILES 4000u
#define MANIFEST_MAX_KNOWN_DLLS 512u
#define MANIFEST_PATH_CAP 160
#define MANIFEST_MAX_FILE_SIZE 314572800ull
#define MANIFEST_CHANNEL_CAP 32
// Every signed message starts with this text and one LF, followed by the body.
#define MANIFEST_SIGNED_PREFIX "ZANDOR-UPDATE-MANIFEST-1\n"

struct ManifestPart {
    bool present;
    uint32_t version;  // 1..999999
    bool required;     // stored only; nothing decides on it
    uint32_t first_file;
    uint32_t file_count;
    uint64_t total_size;
};

struct ManifestFile {
    int kind;
    char path[MANIFEST_PATH_CAP];  // relative, '/' between segments
    uint64_t size;
    uint8_t sha512[64];
};

struct UpdateManifest {
    char channel[MANIFEST_CHANNEL_CAP];
    uint64_t release;
    uint64_t issued_utc_ms;  // stored only
    uint32_t key_id;         // the release key whose signature checked out
    ManifestPart parts[PART_KIND_COUNT];
    ManifestFile* files;  // file_count entries; a part's files are contiguous
    uint32_t file_count;
    uint8_t (*known_dlls)[64];
    uint32_t known_dll_count;
    // The whole input, byte for byte, followed by a zero byte that is not counted. It lies inside one
    // allocation that starts with the signed prefix (manifest_clear releases it).
    char* raw_text;
    size_t raw_length;
};

// A manifest starts zeroed (UpdateManifest m = {};).
// Verifies and parses a manifest of length bytes (text need not be terminated). Any earlier content
// of manifest is released first. On failure manifest is left empty and one English text is written
// to error (null is allowed; the text is cut at error_size).
bool manifest_parse(const char* text, size_t length, UpdateManifest* manifest, char* error,
                    size_t error_size) MUST_USE;
// Releases the tables and the raw text and zeroes every field.
void manifest_clear(UpdateManifest* manifest);
