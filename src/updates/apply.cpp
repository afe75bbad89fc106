// The part swaps: the DLL and the launcher each in one move, the bots file by file, the Java runtime
// as a whole folder. A bots or runtime swap that a kill cut short is finished by the next call.
#include "updates/apply.h"

#include <windows.h>
#include <string.h>

#include "core/codecs.h"
#include "core/file_tree.h"
#include "core/log.h"
#include "core/patient_files.h"
#include "updates/file_digest.h"
#include "updates/launcher_finish.h"
#include "updates/part_kinds.h"
#include "updates/staging.h"
#include "updates/state_files.h"

// Keeps a durable copy of an installed file aside, so that the one move that replaces the file
// never leaves the old one only in the page cache.
static bool keep_copy_aside(const char* installed, const char* aside) {
    return copy_durably(installed, aside);
}

// Replaces the installed file with the staged one in one move; a read-only file is made writable
// first, as it would not be replaced.
static bool replace_in_one_move(const char* staged, const char* installed) {
    DWORD attributes = GetFileAttributesA(installed);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesA(installed, attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    return patient_move(staged, installed, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool swap_into_place(const char* target, const char* staged, const char* aside_folder, const char* name,
                     char* error, size_t error_size) {
    char aside[PATH_CAP];
    if (join_path(aside, sizeof aside, aside_folder, name) + 1 >= sizeof aside) {
        format_text(error, error_size, "%s could not be moved aside (the path is too long)", target);
        return false;
    }
    make_dirs(aside_folder);
    make_parent_dirs(target);
    bool moved_aside = false;
    if (is_file(target)) {
        // A copy of the old file is kept aside and the new one replaces it in one move, so the place
        // never stands empty. A file that cannot be replaced in one move is moved aside instead, and
        // the new one moved in right after.
        if (keep_copy_aside(target, aside) && replace_in_one_move(staged, target)) return true;
        if (!patient_move(target, aside, MOVEFILE_REPLACE_EXISTING)) {
            format_text(error, error_size, "%s could not be moved aside (error %lu, in use?)", target, GetLastError());
            return false;
        }
        moved_aside = true;
    }
    if (!patient_move(staged, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD code = GetLastError();
        if (moved_aside) patient_move(aside, target, MOVEFILE_REPLACE_EXISTING);
        format_text(error, error_size, "%s could not be put in place (error %lu)", target, code);
        return false;
    }
    return true;
}

// Deletes the kind's folders "<kind>_v*" in the updates folder's subfolder (previous or staging),
// except keep (a full path, or null to keep none).
static void drop_kind_folders_except(const UpdatePaths* paths, const char* subfolder, int kind, const char* keep) {
    char parent[PATH_CAP], pattern[PATH_CAP];
    if (join_path(parent, sizeof parent, paths->updates_folder, subfolder) + 1 >= sizeof parent) return;
    format_text(pattern, sizeof pattern, "%s\\%s_v*", parent, part_kind_name(kind));
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        char folder[PATH_CAP];
        if (join_path(folder, sizeof folder, parent, entry.cFileName) + 1 >= sizeof folder) continue;
        if (keep && text_equal_nocase(folder, keep)) continue;
        delete_tree(folder);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

static void drop_previous_except(const UpdatePaths* paths, int kind, const char* keep) {
    drop_kind_folders_except(paths, "previous", kind, keep);
}

void drop_previous_versions(const UpdatePaths* paths, int kind) {
    drop_previous_except(paths, kind, nullptr);
}

// The text after the last backslash.
static const char* last_component(const char* path) {
    const char* last = strrchr(path, '\\');
    return last ? last + 1 : path;
}

// What a swap does with the kind's older previous folders before its moves.
enum PreviousFolders {
    DROP_ALL_PREVIOUS,     // the previous folder starts fresh
    KEEP_OWN_PREVIOUS,     // a resumed swap keeps what the cut run set aside
    DROP_PREVIOUS_LATER,   // nothing is dropped now (the DLL: a probation may name one of them)
};

// Shared start of every swap, once the part has checked out: the kind's previous and staging paths,
// and its older previous folders dropped as the swap asks.
static bool prepare_swap(const UpdatePaths* paths, const UpdateManifest* manifest, int kind, uint32_t old_version,
                         PreviousFolders older, char* previous, char* staging, char* error, size_t error_size) {
    if (!part_previous_folder(paths, kind, old_version, previous, PATH_CAP) ||
        !part_staging_folder(paths, kind, manifest->parts[kind].version, staging, PATH_CAP)) {
        copy_text(error, error_size, "the update folder's path is too long");
        return false;
    }
    char folder[PATH_CAP];
    join_path(folder, sizeof folder, paths->updates_folder, "previous");
    make_dirs(folder);
    if (older == DROP_ALL_PREVIOUS) drop_previous_except(paths, kind, nullptr);
    if (older == KEEP_OWN_PREVIOUS) drop_previous_except(paths, kind, previous);
    return true;
}

// A jar that the new release no longer lists leaves the bots folder for the previous folder.
static void set_aside_dropped_jars(const UpdatePaths* paths, const UpdateManifest* manifest,
                                   const UpdateManifest* old_manifest, const char* previous) {
    const ManifestPart* old_part = &old_manifest->parts[PART_BOTS];
    const ManifestPart* new_part = &manifest->parts[PART_BOTS];
    if (!old_part->present) return;
    for (uint32_t i = 0; i < old_part->file_count; i++) {
        const ManifestFile* old_file = &old_manifest->files[old_part->first_file + i];
        bool kept = false;
        for (uint32_t j = 0; j < new_part->file_count && !kept; j++) {
            kept = text_equal_nocase(manifest->files[new_part->first_file + j].path, old_file->path);
        }
        char installed[PATH_CAP], aside[PATH_CAP];
        if (kept || !file_target_path(paths, old_file, installed, sizeof installed) || !is_file(installed)) continue;
        if (join_path(aside, sizeof aside, previous, old_file->path) + 1 >= sizeof aside) continue;
        patient_move(installed, aside, MOVEFILE_REPLACE_EXISTING);
    }
}

// A file that is in place with its new digest while its staged copy is gone was swapped in by a
// run that was cut short (the update run records the part as waiting before its first move).
static bool swapped_in_earlier(const UpdatePaths* paths, const UpdateManifest* manifest, const ManifestFile* file) {
    char target[PATH_CAP], staged[PATH_CAP];
    return file_target_path(paths, file, target, sizeof target) &&
           file_staged_path(paths, manifest, file, staged, sizeof staged) && !is_file(staged) &&
           file_matches(target, file);
}

// The bots, file by file. A swap cut short by a kill is finished: files already in place stay.
static bool apply_bots(const UpdatePaths* paths, const UpdateManifest* manifest, const UpdateManifest* old_manifest,
                       uint32_t old_version, char* error, size_t error_size) {
    const ManifestPart* part = &manifest->parts[PART_BOTS];
    if (!part->present) return verify_staged_part(paths, manifest, PART_BOTS, error, error_size);
    bool done_earlier[MANIFEST_MAX_FILES];
    bool resuming = false;
    for (uint32_t i = 0; i < part->file_count; i++) {
        const ManifestFile* file = &manifest->files[part->first_file + i];
        done_earlier[i] = swapped_in_earlier(paths, manifest, file);
        resuming = resuming || done_earlier[i];
        if (!done_earlier[i] && !verify_staged_file(paths, manifest, file, error, error_size)) return false;
    }
    char previous[PATH_CAP], staging[PATH_CAP];
    if (!prepare_swap(paths, manifest, PART_BOTS, old_version,
                      resuming ? KEEP_OWN_PREVIOUS : DROP_ALL_PREVIOUS, previous, staging, error, error_size)) {
        return false;
    }
    for (uint32_t i = 0; i < part->file_count; i++) {
        if (done_earlier[i]) continue;
        const ManifestFile* file = &manifest->files[part->first_file + i];
        char target[PATH_CAP], staged[PATH_CAP];
        bool swapped = file_target_path(paths, file, target, sizeof target) &&
                       file_staged_path(paths, manifest, file, staged, sizeof staged) &&
                       swap_into_place(target, staged, previous, last_component(target), error, error_size);
        if (swapped) continue;
        // Put back every file this call swapped before this one, so the part is as it was. The new
        // file goes back into staging first, so the waiting part stays complete there and the next
        // start can swap it in without downloading it again.
        for (uint32_t j = 0; j < i; j++) {
            if (done_earlier[j]) continue;
            const ManifestFile* earlier = &manifest->files[part->first_file + j];
            char earlier_target[PATH_CAP], earlier_staged[PATH_CAP], aside[PATH_CAP];
            if (!file_target_path(paths, earlier, earlier_target, sizeof earlier_target) ||
                !file_staged_path(paths, manifest, earlier, earlier_staged, sizeof earlier_staged)) {
                continue;
            }
            patient_move(earlier_target, earlier_staged, MOVEFILE_REPLACE_EXISTING);
            join_path(aside, sizeof aside, previous, last_component(earlier_target));
            if (is_file(aside)) patient_move(aside, earlier_target, MOVEFILE_REPLACE_EXISTING);
        }
        return false;
    }
    if (old_manifest) set_aside_dropped_jars(paths, manifest, old_manifest, previous);
    patient_remove_folder(staging);
    return true;
}

// Whether the runtime folder holds exactly the manifest's runtime, every file unchanged.
static bool runtime_in_place(const UpdatePaths* paths, const UpdateManifest* manifest) {
    const ManifestPart* part = &manifest->parts[PART_RUNTIME];
    if (is_link(paths->runtime_folder) || count_files(paths->runtime_folder) != part->file_count) return false;
    for (uint32_t i = 0; i < part->file_count; i++) {
        const ManifestFile* file = &manifest->files[part->first_file + i];
        char target[PATH_CAP];
        if (!file_target_path(paths, file, target, sizeof target) || !file_matches(target, file)) return false;
    }
    return true;
}

// The Java runtime, as one folder: the old folder is moved aside, the staged one takes its place.
// Between those two moves the runtime folder is missing; a run cut short there (or after both
// moves) is finished here.
static bool apply_runtime(const UpdatePaths* paths, const UpdateManifest* manifest, uint32_t old_version, char* error,
                          size_t error_size) {
    char staging[PATH_CAP];
    if (manifest->parts[PART_RUNTIME].present &&
        part_staging_folder(paths, PART_RUNTIME, manifest->parts[PART_RUNTIME].version, staging, sizeof staging) &&
        !is_folder(staging) && runtime_in_place(paths, manifest)) {
        return true;  // both moves were made by a run that was cut short
    }
    if (!verify_staged_part(paths, manifest, PART_RUNTIME, error, error_size)) return false;
    bool resuming = !is_folder(paths->runtime_folder) && !is_link(paths->runtime_folder);
    char previous[PATH_CAP];
    if (!prepare_swap(paths, manifest, PART_RUNTIME, old_version,
                      resuming ? KEEP_OWN_PREVIOUS : DROP_ALL_PREVIOUS, previous, staging, error, error_size)) {
        return false;
    }
    // The bots folder is made first, so that nothing stands between moving the old runtime out and
    // the new one in.
    make_dirs(paths->bots_folder);
    bool moved_aside = false;
    if (is_link(paths->runtime_folder)) {
        // A linked runtime folder is only unlinked: what it points to is not ours to set aside or
        // delete later, and some systems move a link's target instead of the link.
        if (!delete_tree(paths->runtime_folder)) {
            format_text(error, error_size,
                        "the Java runtime folder is a link that could not be removed - it is swapped at the next start "
                        "(error %lu)",
                        GetLastError());
            return false;
        }
    } else if (is_folder(paths->runtime_folder)) {
        if (!patient_move(paths->runtime_folder, previous, 0)) {
            format_text(error, error_size,
                        "the Java runtime is in use (a bot is running) - it is swapped at the next start (error %lu)",
                        GetLastError());
            return false;
        }
        moved_aside = true;
    }
    if (!patient_move(staging, paths->runtime_folder, 0)) {
        DWORD code = GetLastError();
        if (moved_aside) patient_move(previous, paths->runtime_folder, 0);
        format_text(error, error_size, "the new Java runtime could not be put in place (error %lu)", code);
        return false;
    }
    return true;
}

// The launcher file. The running launcher cannot be replaced, and moving it aside first would leave
// no launcher at all for a moment: a kill then would leave nothing to start. So a copy of it is kept
// aside and, when the new file cannot replace it in one move, a command waits for this launcher to
// end and then makes that one move; the part waits until then, and the next start, which finds the
// new file in place, records it.
static bool apply_launcher(const UpdatePaths* paths, const UpdateManifest* manifest, uint32_t old_version,
                           char* error, size_t error_size) {
    const ManifestPart* part = &manifest->parts[PART_LAUNCHER];
    if (part->present && part->file_count == 1 &&
        file_matches(paths->launcher_path, &manifest->files[part->first_file])) {
        char staging[PATH_CAP];
        if (part_staging_folder(paths, PART_LAUNCHER, part->version, staging, sizeof staging)) {
            delete_tree(staging);
        }
        launcher_finish_forget(paths);
        return true;  // put in place after an earlier launcher had ended
    }
    if (!verify_staged_part(paths, manifest, PART_LAUNCHER, error, error_size)) return false;
    char previous[PATH_CAP], staging[PATH_CAP], staged[PATH_CAP], aside[PATH_CAP];
    const char* target = paths->launcher_path;
    if (!prepare_swap(paths, manifest, PART_LAUNCHER, old_version, DROP_ALL_PREVIOUS, previous, staging, error, error_size)) {
        return false;
    }
    if (!file_staged_path(paths, manifest, &manifest->files[part->first_file], staged, sizeof staged) ||
        join_path(aside, sizeof aside, previous, last_component(target)) + 1 >= sizeof aside) {
        copy_text(error, error_size, "the update folder's path is too long");
        return false;
    }
    make_dirs(previous);
    if (is_file(target) && !keep_copy_aside(target, aside)) {
        format_text(error, error_size, "%s could not be copied aside (error %lu)", target, GetLastError());
        return false;
    }
    if (replace_in_one_move(staged, target)) {
        patient_remove_folder(staging);
        return true;
    }
    DWORD code = GetLastError();
    // At most one command per launcher file: one that already waits for this file is left to it; any
    // other staged launcher goes, so that only this one can be moved in.
    bool waiting = launcher_finish_waits(paths, staged);
    if (!waiting) drop_kind_folders_except(paths, "staging", PART_LAUNCHER, staging);
    if (waiting || launcher_finish_start(paths, staged, target)) {
        copy_text(error, error_size, "the new launcher takes this one's place once it has closed");
        return false;
    }
    // No such command can name these paths: the running file is moved aside and the new one in
    // right after, which leaves its place empty only for that moment.
    log_line("the launcher is replaced in two moves (no command could wait for it to end; error %lu)", code);
    if (!swap_into_place(target, staged, previous, last_component(target), error, error_size)) return false;
    patient_remove_folder(staging);
    return true;
}

bool install_dll(const UpdatePaths* paths, const UpdateManifest* manifest, uint32_t old_version, char* error,
                 size_t error_size) {
    if (!verify_staged_part(paths, manifest, PART_DLL, error, error_size)) return false;
    char previous_hex[DIGEST_HEX_CAP] = "";
    uint8_t digest[64];
    uint64_t size = 0;
    if (is_file(paths->dll_path) && sha512_file(paths->dll_path, digest, &size)) {
        hex_encode(digest, 64, previous_hex);
    }

    char previous[PATH_CAP], staging[PATH_CAP];
    if (!prepare_swap(paths, manifest, PART_DLL, old_version, DROP_PREVIOUS_LATER, previous, staging, error,
                      error_size)) {
        return false;
    }
    const ManifestFile* file = &manifest->files[manifest->parts[PART_DLL].first_file];
    char staged[PATH_CAP], aside[PATH_CAP];
    if (!file_staged_path(paths, manifest, file, staged, sizeof staged) ||
        join_path(aside, sizeof aside, previous, "d3d8.dll") + 1 >= sizeof aside) {
        copy_text(error, error_size, "the update folder's path is too long");
        return false;
    }

    // The probation is recorded before the swap, naming where the old DLL is kept, and the new DLL
    // replaces the old one in a single move after a durable copy of the old one was kept aside: at
    // every moment either the old DLL is in place or the new one with its probation. The boot check
    // of the next start ends a probation whose DLL never took its place.
    BootState earlier;
    bool had_earlier = boot_state_load(paths, &earlier);
    BootState boot;
    memset(&boot, 0, sizeof boot);
    hex_encode(file->sha512, 64, boot.pending_sha512);
    boot.pending_version = manifest->parts[PART_DLL].version;
    boot.attempts = 0;
    if (is_file(paths->dll_path)) copy_text(boot.previous_path, sizeof boot.previous_path, aside);
    copy_text(boot.previous_sha512, sizeof boot.previous_sha512, previous_hex);
    boot.previous_version = old_version;
    // The probation this install replaces is kept until the new DLL is in place: an install that a
    // kill or a full disk leaves undone gives it back (here, or at the next boot check).
    if (had_earlier ? !replaced_boot_state_save(paths, &earlier) : !replaced_boot_state_remove(paths)) {
        copy_text(error, error_size, "the probation of the DLL in place could not be kept in " REPLACED_BOOT_STATE_FILE);
        return false;
    }
    if (!boot_state_save(paths, &boot)) {
        if (had_earlier) replaced_boot_state_remove(paths);
        copy_text(error, error_size, "the probation of the new DLL could not be written to boot.json");
        return false;
    }
    make_dirs(previous);
    bool kept = true;
    if (boot.previous_path[0]) {
        kept = keep_copy_aside(paths->dll_path, aside);
        if (!kept) {
            format_text(error, error_size, "%s could not be copied aside (error %lu)", paths->dll_path,
                        GetLastError());
        }
    }
    if (kept) {
        kept = replace_in_one_move(staged, paths->dll_path);
        if (!kept) {
            format_text(error, error_size, "%s could not be put in place (error %lu)", paths->dll_path,
                        GetLastError());
        }
    }
    if (!kept) {
        // The old DLL stays, and so does its own probation if it had one, with the DLL that probation
        // keeps: no previous folder was dropped, and the copy made here goes only when it is not that one.
        bool earlier_keeps_aside = had_earlier && text_equal_nocase(earlier.previous_path, aside);
        if (boot.previous_path[0] && !earlier_keeps_aside) patient_delete(aside);
        if (!had_earlier) {
            boot_state_remove(paths);
        } else if (!replaced_boot_state_give_back(paths) && boot_state_save(paths, &earlier)) {
            replaced_boot_state_remove(paths);
        }
        return false;
    }
    // The new DLL is in place with its probation recorded: only now do the replaced probation and
    // the older previous folders go, never the folder this probation names.
    replaced_boot_state_remove(paths);
    drop_previous_except(paths, PART_DLL, previous);
    patient_remove_folder(staging);
    return true;
}

bool apply_part(const UpdatePaths* paths, const UpdateManifest* manifest, const UpdateManifest* old_manifest,
                int kind, uint32_t old_version, char* error, size_t error_size) {
    switch (kind) {
        case PART_DLL: return install_dll(paths, manifest, old_version, error, error_size);
        case PART_BOTS: return apply_bots(paths, manifest, old_manifest, old_version, error, error_size);
        case PART_RUNTIME: return apply_runtime(paths, manifest, old_version, error, error_size);
        case PART_LAUNCHER: return apply_launcher(paths, manifest, old_version, error, error_size);
        default:
            copy_text(error, error_size, "unknown part");
            return false;
    }
}

bool swap_part_in(const UpdatePaths* paths, const UpdateManifest* manifest, const UpdateManifest* old_manifest,
                  int kind, InstalledState* state, bool* installed_changed, char* error, size_t error_size) {
    if (!apply_part(paths, manifest, old_manifest, kind, state->version[kind], error, error_size)) return false;
    state->version[kind] = manifest->parts[kind].version;
    state->staged_version[kind] = 0;
    if (kind == PART_DLL) {
        hex_encode(manifest->files[manifest->parts[PART_DLL].first_file].sha512, 64, state->dll_sha512);
    }
    if (kind == PART_BOTS || kind == PART_RUNTIME) *installed_changed = true;
    return true;
}
