// Verifying and parsing the update manifest. The signature over the prefix and the body is checked
// first; only then are the tables allocated and the body lines read, in one pass.
#include "updates/manifest.h"

#include <stdlib.h>
#include <string.h>

#include "core/codecs.h"
#include "updates/manifest_fields.h"
#include "updates/release_keys.h"

#define PREFIX_LENGTH (sizeof(MANIFEST_SIGNED_PREFIX) - 1)
#define SIGNATURE_TAG "signature\t"
#define SIGNATURE_TAG_LENGTH (sizeof(SIGNATURE_TAG) - 1)
#define LINE_LIMIT 600
#define FIELD_LIMIT 8
// Open-addressing index of the file paths (lower-cased), for the duplicate rule.
#define PATH_SLOTS 8192u

static_assert(PATH_SLOTS >= 2 * MANIFEST_MAX_FILES, "the path index stays at most half full");


void manifest_clear(UpdateManifest* manifest) {
    free(manifest->files);
    free(manifest->known_dlls);
    if (manifest->raw_text) free(manifest->raw_text - PREFIX_LENGTH);
    memset(manifest, 0, sizeof *manifest);
}

// Finds the last LF that is followed by "signature" TAB; gives its offset or -1.
static long find_signature_line(const char* text, size_t length) {
    if (length < SIGNATURE_TAG_LENGTH + 1) return -1;
    for (size_t i = length - SIGNATURE_TAG_LENGTH - 1;; i--) {
        if (text[i] == '\n' && memcmp(text + i + 1, SIGNATURE_TAG, SIGNATURE_TAG_LENGTH) == 0) {
            return (long)i;
        }
        if (i == 0) return -1;
    }
}

// Splits a line into TAB-separated slices; gives the number of fields, or -1 when there are more
// than limit.
static int split_slices(const char* start, size_t length, Field* fields, int limit) {
    int count = 0;
    size_t field_start = 0;
    for (size_t i = 0; i <= length; i++) {
        if (i == length || start[i] == '\t') {
            if (count >= limit) return -1;
            fields[count].start = start + field_start;
            fields[count].length = i - field_start;
            count++;
            field_start = i + 1;
        }
    }
    return count;
}

// Checks the signature line: its form, a release key this build trusts, then the Ed25519 signature
// over the signed prefix and the body. On success gives the key id.
static bool check_signature(const char* text, size_t body_length, size_t length, uint32_t* key_id,
                            const uint8_t* message, char* error, size_t error_size) {
    const char* line = text + body_length;
    size_t line_length = length - body_length;
    while (line_length > 0 && (line[line_length - 1] == '\r' || line[line_length - 1] == '\n')) {
        line_length--;
    }
    Field fields[3];
    if (split_slices(line, line_length, fields, 3) != 3) {
        format_reason(error, error_size, "bad signature line");
        return false;
    }
    uint64_t id = 0;
    if (!field_decimal(fields[1], &id) || id > 255) {
        format_reason(error, error_size, "bad key id");
        return false;
    }
    const ReleaseKey* key = find_release_key((uint32_t)id);
    if (!key) {
        format_reason(error, error_size, "signed with key %d, which this build does not trust", (int)id);
        return false;
    }
    // Any number of trailing '=' is ignored; the rest of 64 bytes is 86 characters, and anything
    // much longer cannot decode to 64 bytes.
    Field text64 = fields[2];
    while (text64.length > 0 && text64.start[text64.length - 1] == '=') text64.length--;
    char encoded[100];
    uint8_t signature[64];
    bool decoded = false;
    if (text64.length < sizeof encoded && !memchr(text64.start, 0, text64.length)) {
        memcpy(encoded, text64.start, text64.length);
        encoded[text64.length] = 0;
        decoded = base64_decode(encoded, signature, sizeof signature) == 64;
    }
    if (!decoded) {
        format_reason(error, error_size, "bad signature encoding");
        return false;
    }
    if (!ed25519_verify(signature, message, PREFIX_LENGTH + body_length, key->public_key)) {
        format_reason(error, error_size,
                  "the manifest signature does not check out (not from the ZANDOR release key)");
        return false;
    }
    *key_id = key->id;
    return true;
}

// The state of the body pass.
struct BodyReader {
    UpdateManifest* manifest;
    int current_part;  // kind of the latest part line, or -1
    uint16_t path_slots[PATH_SLOTS];  // file index + 1, 0 = free
};

static uint32_t path_hash(int kind, const char* path, size_t length) {
    uint32_t hash = 2166136261u ^ (uint32_t)kind;
    for (size_t i = 0; i < length; i++) hash = (hash ^ (uint8_t)ascii_lower(path[i])) * 16777619u;
    return hash;
}

static bool same_path_nocase(const char* a, const char* b, size_t length) {
    for (size_t i = 0; i < length; i++) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return b[length] == 0;
}

// Adds the path of a new file to the index; false when a file of the same part has the same path
// without regard to letter case.
static bool index_path(BodyReader* reader, int kind, Field path, uint32_t file_index) {
    const ManifestFile* files = reader->manifest->files;
    uint32_t slot = path_hash(kind, path.start, path.length) & (PATH_SLOTS - 1);
    while (reader->path_slots[slot] != 0) {
        const ManifestFile* other = &files[reader->path_slots[slot] - 1];
        if (other->kind == kind && same_path_nocase(path.start, other->path, path.length)) return false;
        slot = (slot + 1) & (PATH_SLOTS - 1);
    }
    reader->path_slots[slot] = (uint16_t)(file_index + 1);
    return true;
}

static bool read_part_line(BodyReader* reader, const Field* fields) {
    UpdateManifest* manifest = reader->manifest;
    int kind = -1;
    for (int k = 0; k < PART_KIND_COUNT; k++) {
        if (field_equals(fields[1], part_kind_name(k))) kind = k;
    }
    uint64_t version = 0;
    if (kind < 0 || manifest->parts[kind].present) return false;
    if (!field_decimal(fields[2], &version) || version < 1 || version > 999999) return false;
    bool required = field_equals(fields[3], "required");
    if (!required && !field_equals(fields[3], "optional")) return false;
    ManifestPart* part = &manifest->parts[kind];
    part->present = true;
    part->version = (uint32_t)version;
    part->required = required;
    part->first_file = manifest->file_count;
    reader->current_part = kind;
    return true;
}

static bool read_file_line(BodyReader* reader, const Field* fields) {
    UpdateManifest* manifest = reader->manifest;
    int kind = reader->current_part;
    if (kind < 0 || !field_equals(fields[1], part_kind_name(kind))) return false;
    if (manifest->file_count >= MANIFEST_MAX_FILES || !field_path(fields[2])) return false;
    uint64_t size = 0;
    if (!field_decimal(fields[3], &size) || size > MANIFEST_MAX_FILE_SIZE) return false;
    ManifestFile* file = &manifest->files[manifest->file_count];
    if (!field_digest(fields[4], false, file->sha512)) return false;
    memcpy(file->path, fields[2].start, fields[2].length);
    file->path[fields[2].length] = 0;
    file->kind = kind;
    file->size = size;
    if (!index_path(reader, kind, fields[2], manifest->file_count)) return false;
    manifest->file_count++;
    manifest->parts[kind].file_count++;
    manifest->parts[kind].total_size += size;
    return true;
}

// One body line after the magic line, already split into count fields.
static bool read_body_line(BodyReader* reader, const Field* fields, int count) {
    UpdateManifest* manifest = reader->manifest;
    uint64_t value = 0;
    Field key = fields[0];
    if (count == 2 && field_equals(key, "channel")) {
        if (!field_channel_name(fields[1])) return false;
        memcpy(manifest->channel, fields[1].start, fields[1].length);
        manifest->channel[fields[1].length] = 0;
        return true;
    }
    if (count == 2 && field_equals(key, "release")) {
        if (!field_decimal(fields[1], &value) || value < 1) return false;
        manifest->release = value;
        return true;
    }
    if (count == 2 && field_equals(key, "issued_utc_ms")) {
        if (!field_decimal(fields[1], &value)) return false;
        manifest->issued_utc_ms = value;
        return true;
    }
    if (count == 4 && field_equals(key, "part")) return read_part_line(reader, fields);
    if (count == 5 && field_equals(key, "file")) return read_file_line(reader, fields);
    if (count == 2 && field_equals(key, "known_dll")) {
        if (manifest->known_dll_count >= MANIFEST_MAX_KNOWN_DLLS) return false;
        if (!field_digest(fields[1], true, manifest->known_dlls[manifest->known_dll_count])) return false;
        manifest->known_dll_count++;
        return true;
    }
    return false;
}

// Reads every body line: the magic line first, then the channel, release, part, file and known DLL
// lines in any order; any other line makes the manifest invalid.
static bool read_body(BodyReader* reader, const char* body, size_t length, char* error,
                      size_t error_size) {
    int line_number = 0;
    size_t start = 0;
    while (start < length) {
        const char* end = (const char*)memchr(body + start, '\n', length - start);
        size_t line_length = end ? (size_t)(end - (body + start)) : length - start;
        const char* line = body + start;
        start += line_length + 1;
        line_number++;
        if (line_length == 0 && line_number > 1) continue;
        Field fields[FIELD_LIMIT];
        int count = line_length >= LINE_LIMIT ? -1 : split_slices(line, line_length, fields, FIELD_LIMIT);
        if (count < 0) {
            format_reason(error, error_size, "line %d too long", line_number);
            return false;
        }
        bool valid = line_number == 1
                         ? count == 2 && field_equals(fields[0], "ZANDOR-UPDATE-MANIFEST") &&
                               field_equals(fields[1], "1")
                         : read_body_line(reader, fields, count);
        if (!valid) {
            format_reason(error, error_size, "manifest line %d is not valid", line_number);
            return false;
        }
    }
    return true;
}

// The rules that hold for whole parts: each has files, the dll and launcher parts hold their one
// file, the bots part only .jar files at its top. Gives the first failure or null.
static const char* check_parts(const UpdateManifest* manifest) {
    for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
        const ManifestPart* part = &manifest->parts[kind];
        if (!part->present) continue;
        if (part->file_count == 0) return "a part without files";
        const ManifestFile* files = manifest->files + part->first_file;
        if (kind == PART_DLL) {
            if (part->file_count != 1 || !text_equal_nocase(files[0].path, "d3d8.dll")) {
                return "the dll part must hold exactly d3d8.dll";
            }
        } else if (kind == PART_BOTS) {
            for (uint32_t i = 0; i < part->file_count; i++) {
                if (strchr(files[i].path, '/') || !text_ends_with_nocase(files[i].path, ".jar")) {
                    return "the bots part holds only .jar files";
                }
            }
        } else if (kind == PART_LAUNCHER) {
            if (part->file_count != 1 || strcmp(files[0].path, "ZANDOR Launcher.exe") != 0) {
                return "bad launcher part";
            }
        }
    }
    return nullptr;
}

static bool parse(const char* text, size_t length, UpdateManifest* manifest, char* error,
                  size_t error_size) {
    if (length == 0 || length > MANIFEST_MAX_BYTES) {
        format_reason(error, error_size, "manifest empty or too long");
        return false;
    }
    long signature_lf = find_signature_line(text, length);
    if (signature_lf < 0) {
        format_reason(error, error_size, "no signature line");
        return false;
    }
    size_t body_length = (size_t)signature_lf + 1;

    // One allocation holds the signed message (prefix + body) and is kept as the raw text.
    char* block = (char*)malloc(PREFIX_LENGTH + length + 1);
    if (!block) {
        format_reason(error, error_size, "manifest empty or too long");
        return false;
    }
    memcpy(block, MANIFEST_SIGNED_PREFIX, PREFIX_LENGTH);
    memcpy(block + PREFIX_LENGTH, text, length);
    block[PREFIX_LENGTH + length] = 0;
    manifest->raw_text = block + PREFIX_LENGTH;
    manifest->raw_length = length;

    uint32_t key_id = 0;
    if (!check_signature(manifest->raw_text, body_length, length, &key_id, (const uint8_t*)block, error,
                         error_size)) {
        return false;
    }

    manifest->files = (ManifestFile*)malloc(MANIFEST_MAX_FILES * sizeof(ManifestFile));
    manifest->known_dlls = (uint8_t(*)[64])malloc(MANIFEST_MAX_KNOWN_DLLS * 64);
    BodyReader* reader = (BodyReader*)calloc(1, sizeof(BodyReader));
    if (!manifest->files || !manifest->known_dlls || !reader) {
        free(reader);
        format_reason(error, error_size, "manifest empty or too long");
        return false;
    }
    reader->manifest = manifest;
    reader->current_part = -1;
    bool body_ok = read_body(reader, manifest->raw_text, body_length, error, error_size);
    free(reader);
    if (!body_ok) return false;

    if (manifest->channel[0] == 0 || manifest->release == 0) {
        format_reason(error, error_size, "channel or release missing");
        return false;
    }
    const char* part_error = check_parts(manifest);
    if (part_error) {
        format_reason(error, error_size, "manifest: %s", part_error);
        return false;
    }
    manifest->key_id = key_id;
    return true;
}

bool manifest_parse(const char* text, size_t length, UpdateManifest* manifest, char* error,
                    size_t error_size) {
    manifest_clear(manifest);
    if (error && error_size > 0) error[0] = 0;
    if (parse(text, length, manifest, error, error_size)) return true;
    manifest_clear(manifest);
    return false;
}
