// Installed and staged places of manifest files, and the checks of staged and installed parts.
#include "updates/staging.h"

#include <string.h>

#include "updates/file_checks.h"
#include "updates/file_digest.h"

static bool fits(size_t length, size_t cap) {
    return length + 1 < cap;
}

// Appends "\" + the manifest path with every '/' turned into '\'.
static bool append_manifest_path(char* out, size_t cap, const char* path) {
    size_t start = strlen(out);
    if (!fits(start + 1 + strlen(path), cap)) return false;
    out[start] = '\\';
    for (size_t i = 0; path[i]; i++) out[start + 1 + i] = path[i] == '/' ? '\\' : path[i];
    out[start + 1 + strlen(path)] = 0;
    return true;
}

bool file_target_path(const UpdatePaths* paths, const ManifestFile* file, char* out, size_t cap) {
    out[0] = 0;
    switch (file->kind) {
        case PART_DLL: return fits(copy_text(out, cap, paths->dll_path), cap);
        case PART_LAUNCHER: return fits(copy_text(out, cap, paths->launcher_path), cap);
        case PART_BOTS:
            copy_text(out, cap, paths->bots_folder);
            return append_manifest_path(out, cap, file->path);
        case PART_RUNTIME:
            copy_text(out, cap, paths->runtime_folder);
            return append_manifest_path(out, cap, file->path);
        default: return false;
    }
}

bool part_staging_folder(const UpdatePaths* paths, int kind, uint32_t version, char* out, size_t cap) {
    return fits(format_text(out, cap, "%s\\staging\\%s_v%u", paths->updates_folder, part_kind_name(kind),
                            (unsigned)version),
                cap);
}

bool part_previous_folder(const UpdatePaths* paths, int kind, uint32_t version, char* out, size_t cap) {
    return fits(format_text(out, cap, "%s\\previous\\%s_v%u", paths->updates_folder, part_kind_name(kind),
                            (unsigned)version),
                cap);
}

bool file_staged_path(const UpdatePaths* paths, const UpdateManifest* manifest, const ManifestFile* file,
                      char* out, size_t cap) {
    if (file->kind < 0 || file->kind >= PART_KIND_COUNT) return false;
    return part_staging_folder(paths, file->kind, manifest->parts[file->kind].version, out, cap) &&
           append_manifest_path(out, cap, file->path);
}

bool part_looks_installed(const UpdatePaths* paths, const UpdateManifest* manifest, int kind,
                          const InstalledState* state) {
    const ManifestPart* part = &manifest->parts[kind];
    if (!part->present || state->version[kind] != part->version) return false;
    for (uint32_t i = 0; i < part->file_count; i++) {
        const ManifestFile* file = &manifest->files[part->first_file + i];
        char target[PATH_CAP];
        uint64_t size = 0;
        if (!file_target_path(paths, file, target, sizeof target) || !file_size(target, &size) ||
            size != file->size) {
            return false;
        }
    }
    return true;
}

bool verify_staged_file(const UpdatePaths* paths, const UpdateManifest* manifest, const ManifestFile* file,
                        char* error, size_t error_size) {
    char staged[PATH_CAP];
    if (file_staged_path(paths, manifest, file, staged, sizeof staged) && file_matches(staged, file)) return true;
    if (error && error_size) {
        format_text(error, error_size, "staged %s/%s is missing or changed", part_kind_name(file->kind), file->path);
    }
    return false;
}

// The files of one part, each checked at its staged path.
struct StagedPartFiles {
    const UpdatePaths* paths;
    const UpdateManifest* manifest;
    const ManifestPart* part;
};

static bool staged_file_matches(uint32_t index, uint8_t* block, void* context) {
    const StagedPartFiles* files = (const StagedPartFiles*)context;
    const ManifestFile* file = &files->manifest->files[files->part->first_file + index];
    char staged[PATH_CAP];
    return file_staged_path(files->paths, files->manifest, file, staged, sizeof staged) &&
           file_matches_block(staged, file, block);
}

bool verify_staged_part(const UpdatePaths* paths, const UpdateManifest* manifest, int kind, char* error,
                        size_t error_size) {
    char ignored[8];
    if (!error) {
        error = ignored;
        error_size = sizeof ignored;
    }
    const ManifestPart* part = &manifest->parts[kind];
    if (!part->present) {
        format_text(error, error_size, "part %s is not in the manifest", part_kind_name(kind));
        return false;
    }
    // The files are hashed on several threads; the first one that fails in manifest order is named.
    StagedPartFiles files = {paths, manifest, part};
    FileCheckList list = {};
    list.count = part->file_count;
    list.check = staged_file_matches;
    list.context = &files;
    list.first_failure_only = true;
    check_files(&list);
    if (list.first_failure < part->file_count) {
        const ManifestFile* failed = &manifest->files[part->first_file + list.first_failure];
        format_text(error, error_size, "staged %s/%s is missing or changed", part_kind_name(failed->kind),
                    failed->path);
        return false;
    }
    if (kind == PART_RUNTIME) {
        char folder[PATH_CAP];
        if (!part_staging_folder(paths, kind, part->version, folder, sizeof folder) ||
            count_files(folder) != part->file_count) {
            copy_text(error, error_size, "the staged runtime holds files that are not in the manifest");
            return false;
        }
    }
    return true;
}
