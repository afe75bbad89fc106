// Examining what must be fetched, fetching it piece by piece into .part files, and moving each
// verified file into staging.
#include "updates/download.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "core/codecs.h"
#include "core/log.h"
#include "core/patient_files.h"
#include "core/shared_counter.h"
#include "core/socket_lines.h"
#include "updates/file_checks.h"
#include "updates/file_digest.h"
#include "updates/part_kinds.h"
#include "updates/staging.h"
#include "updates/update_protocol.h"

static bool stop_requested(const UpdateProgress* progress) {
    return progress->stop != 0;
}

static bool wanted(const ManifestFile* file, unsigned mask) {
    return file->kind >= 0 && file->kind < PART_KIND_COUNT && (mask & PART_BIT(file->kind));
}

// The installed copy is already the signed file: copy it into staging instead of downloading it. The
// copy is written through to the disk before it can be swapped in; it does not keep a read-only flag.
static bool stage_from_installed(const UpdatePaths* paths, const ManifestFile* file, const char* staged,
                                 uint8_t* block) {
    char target[PATH_CAP];
    if (!file_target_path(paths, file, target, sizeof target) || !file_matches_block(target, file, block)) {
        return false;
    }
    make_parent_dirs(staged);
    if (!copy_durably(target, staged)) {
        log_line("cannot copy %s to %s (error %lu)", target, staged, (unsigned long)GetLastError());
        return false;
    }
    return file_matches_block(staged, file, block);
}

// The files of the manifest as the examining phase sees them; needed has one entry per file.
struct Examination {
    const UpdatePaths* paths;
    const UpdateManifest* manifest;
    unsigned mask;
    bool* needed;
};

// Whether one file waits in staging already or can be copied there from its installed place; then
// it is no longer needed. Every wanted file starts as needed, so one that was never examined (no
// hashing block, a stop) is fetched. Files outside the mask pass untouched.
static bool examine_file(uint32_t index, uint8_t* block, void* context) {
    Examination* examination = (Examination*)context;
    const ManifestFile* file = &examination->manifest->files[index];
    if (!wanted(file, examination->mask)) return true;
    char staged[PATH_CAP];
    if (file_staged_path(examination->paths, examination->manifest, file, staged, sizeof staged) &&
        (file_matches_block(staged, file, block) || stage_from_installed(examination->paths, file, staged, block))) {
        examination->needed[index] = false;
    }
    return true;
}

// Fetches the rest of one file into its open .part file; the offset starts at the resume point.
// False with the reason in error (the broken-off text only when nothing more precise was written).
static bool fetch_pieces(UpdateConnection* connection, const ManifestFile* file, HANDLE part, const char* part_path, uint64_t offset,
                         uint8_t* buffer, UpdateProgress* progress, char* error, size_t error_size) {
    char hex[DIGEST_HEX_CAP];
    hex_encode(file->sha512, 64, hex);
    while (offset < file->size) {
        if (stop_requested(progress)) {
            copy_text(error, error_size, "stopped");
            return false;
        }
        uint64_t rest = file->size - offset;
        uint32_t wanted_length = rest < UPDATE_PIECE_MAX ? (uint32_t)rest : UPDATE_PIECE_MAX;
        char line[220];
        size_t line_length = format_text(line, sizeof line, "GET %s %llu %u\n", hex, (unsigned long long)offset,
                                         (unsigned)wanted_length);
        // The whole piece must be in within the answer limit of its request; stop is looked at
        // between receives inside it.
        UpdateWait wait;
        update_wait_start(&wait, UPDATE_ANSWER_LIMIT_MS, &progress->stop);
        uint32_t length = 0;
        bool ok = send_all(connection->reader.socket, line, line_length) &&
                  update_read_answer(connection, wanted_length, &length, error, error_size, &wait) && length > 0 &&
                  update_receive_exact(connection, buffer, length, &wait);
        if (!ok) {
            if (stop_requested(progress)) {
                copy_text(error, error_size, "stopped");
            } else if (!error[0]) {
                format_text(error, error_size, "the download of %s broke off (it resumes next time)", file->path);
            }
            return false;
        }
        DWORD written = 0;
        BOOL wrote = WriteFile(part, buffer, length, &written, nullptr);
        if (!wrote || written != length) {
            // A write that took only some of the bytes reports no error of its own: the disk is full.
            DWORD code = wrote ? (DWORD)ERROR_DISK_FULL : GetLastError();
            log_line("cannot write %s (error %lu): %lu of %lu bytes written", part_path, (unsigned long)code,
                     (unsigned long)written, (unsigned long)length);
            format_text(error, error_size, "cannot write %s (disk full?)", part_path);
            return false;
        }
        offset += length;
        counter_add(&progress->done_bytes, length);
    }
    return true;
}

// Downloads one needed file into staging. False with the reason in error.
static bool download_file(UpdateConnection* connection, const UpdatePaths* paths, const UpdateManifest* manifest,
                          const ManifestFile* file, uint8_t* buffer, UpdateProgress* progress, char* error,
                          size_t error_size) {
    char staged[PATH_CAP], part_path[PATH_CAP];
    if (!file_staged_path(paths, manifest, file, staged, sizeof staged) ||
        format_text(part_path, sizeof part_path, "%s.part", staged) + 1 >= sizeof part_path) {
        format_text(error, error_size, "the staging path of %s/%s is too long", part_kind_name(file->kind),
                    file->path);
        return false;
    }
    make_parent_dirs(part_path);

    uint64_t offset = 0;
    if (!file_size(part_path, &offset) || offset > file->size) {
        offset = 0;
        // A folder in the way is not a .part file either; a missing file is simply not there.
        if (is_folder(part_path)) patient_remove_folder(part_path);
        patient_delete(part_path);
    }
    counter_add(&progress->done_bytes, offset);

    HANDLE part = patient_open(part_path, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (part == INVALID_HANDLE_VALUE) {
        format_text(error, error_size, "cannot write %s (error %lu)", part_path, GetLastError());
        return false;
    }
    bool fetched = fetch_pieces(connection, file, part, part_path, offset, buffer, progress, error, error_size);
    CloseHandle(part);
    if (!fetched) return false;
    // Every byte is on the disk before the file can take its place in staging (and later in the
    // game folder).
    if (!flush_file(part_path)) {
        format_text(error, error_size, "cannot write %s (error %lu)", part_path, GetLastError());
        return false;
    }

    if (!file_matches(part_path, file)) {
        patient_delete(part_path);
        format_text(error, error_size, "%s/%s arrived changed (its SHA-512 is not the signed one) - deleted, refused",
                    part_kind_name(file->kind), file->path);
        return false;
    }
    if (!patient_move(part_path, staged, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        format_text(error, error_size, "cannot place %s (error %lu)", staged, GetLastError());
        return false;
    }
    return true;
}

bool download_parts(UpdateConnection* connection, const UpdatePaths* paths, const UpdateManifest* manifest, unsigned mask,
                    UpdateProgress* progress, char* error, size_t error_size) {
    // The reason is built here and replaces the run's message only when the download fails, so the
    // notes of the run never hide a failure text.
    char reason[400] = "";
    bool* needed = (bool*)calloc(manifest->file_count ? manifest->file_count : 1, sizeof(bool));
    uint8_t* buffer = (uint8_t*)malloc(UPDATE_PIECE_MAX);
    bool ok = needed != nullptr && buffer != nullptr;
    if (!ok) copy_text(reason, sizeof reason, "out of memory");

    counter_set(&progress->done_bytes, 0);
    counter_set(&progress->total_bytes, 0);
    progress->phase = PHASE_EXAMINING;
    if (ok) {
        // The files are examined on several threads (hashing, copying); what is needed is summed
        // afterwards.
        for (uint32_t i = 0; i < manifest->file_count; i++) needed[i] = wanted(&manifest->files[i], mask);
        Examination examination = {paths, manifest, mask, needed};
        FileCheckList list = {};
        list.count = manifest->file_count;
        list.check = examine_file;
        list.context = &examination;
        list.stop = &progress->stop;
        check_files(&list);
        if (list.stopped) {
            copy_text(reason, sizeof reason, "stopped");
            ok = false;
        }
    }
    for (uint32_t i = 0; ok && i < manifest->file_count; i++) {
        if (needed[i]) counter_add(&progress->total_bytes, manifest->files[i].size);
    }

    if (ok) progress->phase = PHASE_DOWNLOADING;
    for (uint32_t i = 0; ok && i < manifest->file_count; i++) {
        if (!needed[i]) continue;
        if (stop_requested(progress)) {
            copy_text(reason, sizeof reason, "stopped");
            ok = false;
            break;
        }
        ok = download_file(connection, paths, manifest, &manifest->files[i], buffer, progress, reason, sizeof reason);
    }

    free(buffer);
    free(needed);
    progress->phase = ok ? PHASE_FINISHED : PHASE_FAILED;
    if (!ok) copy_text(error, error_size, reason);
    return ok;
}
