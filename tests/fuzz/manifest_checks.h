// The properties of a manifest that manifest_parse accepted, for the manifest fuzz targets.
#pragma once

#include <string.h>

#include "core/text.h"
#include "fuzz_check.h"
#include "updates/manifest.h"

inline void check_parsed_manifest(const UpdateManifest* manifest, const char* text, size_t size) {
    FUZZ_CHECK(manifest->raw_length == size && memcmp(manifest->raw_text, text, size) == 0);
    FUZZ_CHECK(manifest->raw_text[size] == 0);
    FUZZ_CHECK(manifest->channel[0] != 0 && manifest->release >= 1);
    FUZZ_CHECK(manifest->key_id >= 1 && manifest->key_id <= 255);
    FUZZ_CHECK(manifest->file_count <= MANIFEST_MAX_FILES);
    FUZZ_CHECK(manifest->known_dll_count <= MANIFEST_MAX_KNOWN_DLLS);
    uint32_t listed = 0;
    for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
        const ManifestPart* part = &manifest->parts[kind];
        if (!part->present) continue;
        FUZZ_CHECK(part->version >= 1 && part->version <= 999999);
        FUZZ_CHECK(part->file_count >= 1);
        FUZZ_CHECK(part->first_file + part->file_count <= manifest->file_count);
        uint64_t total = 0;
        for (uint32_t i = part->first_file; i < part->first_file + part->file_count; i++) {
            const ManifestFile* file = &manifest->files[i];
            FUZZ_CHECK(file->kind == kind);
            FUZZ_CHECK(file->size <= MANIFEST_MAX_FILE_SIZE);
            size_t length = strnlen(file->path, MANIFEST_PATH_CAP);
            FUZZ_CHECK(length > 0 && length < MANIFEST_PATH_CAP);
            // Relative paths that stay inside their part's folder.
            FUZZ_CHECK(file->path[0] != '/' && file->path[0] != '\\' && !strchr(file->path, ':'));
            for (size_t i = 0; i < length; i++) {
                bool segment_end = i + 1 == length || file->path[i + 1] == '/';
                FUZZ_CHECK(!segment_end || (file->path[i] != '.' && file->path[i] != '/'));
            }
            // No two files of a part share a path in any letter case (checked on small tables only).
            if (part->file_count <= 64) {
                for (uint32_t j = part->first_file; j < i; j++) {
                    FUZZ_CHECK(!text_equal_nocase(manifest->files[j].path, file->path));
                }
            }
            total += file->size;
        }
        FUZZ_CHECK(total == part->total_size);
        listed += part->file_count;
    }
    FUZZ_CHECK(listed == manifest->file_count);
}
