// Reading boot.json at start-up and rolling a failed client DLL back. It also finishes or undoes an
// installation or a rollback that a killed launcher left half-done, and acts on no value of
// boot.json that it has not checked.
#include "updates/boot_check.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "core/codecs.h"
#include "core/log.h"
#include "core/patient_files.h"
#include "core/text.h"
#include "updates/file_digest.h"
#include "updates/part_kinds.h"
#include "updates/staging.h"
#include "updates/state_files.h"
#include "updates/state_text.h"

// Why boot.json's values cannot be acted on, or null when they can.
static const char* boot_state_refusal(const UpdatePaths* paths, const BootState* boot) {
    if (!is_digest_hex(boot->pending_sha512)) return "its pending_sha512 is not a SHA-512 digest";
    if (boot->previous_sha512[0] && !is_digest_hex(boot->previous_sha512)) {
        return "its previous_sha512 is not a SHA-512 digest";
    }
    if (boot->previous_path[0] && !path_inside_folder(boot->previous_path, paths->updates_folder)) {
        return "its previous_path is not in the updates folder";
    }
    // The swap keeps the old DLL as previous\dll_v<its version>\d3d8.dll and nowhere else.
    char kept[PATH_CAP];
    if (boot->previous_path[0] &&
        (boot->previous_version > 0xFFFFFFFFull ||
         !part_previous_folder(paths, PART_DLL, (uint32_t)boot->previous_version, kept, sizeof kept) ||
         append_text(kept, sizeof kept, "\\d3d8.dll") + 1 >= sizeof kept || !text_equal_nocase(kept, boot->previous_path))) {
        return "its previous_path is not the previous DLL's folder";
    }
    return nullptr;
}

// The DLL kept aside is the one boot.json names, with the digest it recorded: only such a file is
// ever moved over the client DLL.
static bool previous_dll_kept(const BootState* boot) {
    if (!boot->previous_path[0] || !boot->previous_sha512[0] || !is_file(boot->previous_path)) return false;
    uint8_t digest[64];
    uint64_t size = 0;
    char hex[DIGEST_HEX_CAP];
    if (!sha512_file(boot->previous_path, digest, &size)) return false;
    hex_encode(digest, 64, hex);
    return strcmp(hex, boot->previous_sha512) == 0;
}

static int clamp_attempts(uint64_t attempts) {
    return attempts > 0x7FFFFFFF ? 0x7FFFFFFF : (int)attempts;
}

// The previous DLL is back in place: installed.json bars the failed one and names the previous one,
// and the probation ends.
static int record_rollback(const UpdatePaths* paths, const BootState* boot, char* message, size_t message_size) {
    InstalledState installed;
    installed_state_load(paths, &installed);
    copy_text(installed.bad_dll_sha512, sizeof installed.bad_dll_sha512, boot->pending_sha512);
    copy_text(installed.dll_sha512, sizeof installed.dll_sha512, boot->previous_sha512);
    installed.version[PART_DLL] = (uint32_t)boot->previous_version;
    installed_state_save(paths, &installed);
    boot_state_remove(paths);
    format_text(message, message_size,
                "the new DLL (version %llu) failed to start %d times: the previous DLL (version %llu) is back from "
                "the next start",
                (unsigned long long)boot->pending_version, clamp_attempts(boot->attempts),
                (unsigned long long)boot->previous_version);
    return BOOT_ROLLED_BACK;
}

// An install that never finished ends its probation. When it replaced an earlier probation whose DLL
// is the one in place again, that probation is given back and true says so: the check starts over.
static bool end_undone_probation(const UpdatePaths* paths, const BootState* boot) {
    BootState replaced;
    bool give_back = replaced_boot_state_load(paths, &replaced) && !boot_state_refusal(paths, &replaced) &&
                     boot->previous_sha512[0];
    if (give_back) {
        digest_hex_lower(replaced.pending_sha512);
        give_back = strcmp(replaced.pending_sha512, boot->previous_sha512) == 0;
    }
    if (give_back && (replaced_boot_state_give_back(paths) || boot_state_save(paths, &replaced))) {
        replaced_boot_state_remove(paths);
        log_line("boot check: the probation of DLL version %llu that the cut-short update replaced goes on",
                 (unsigned long long)replaced.pending_version);
        return true;
    }
    boot_state_remove(paths);
    replaced_boot_state_remove(paths);
    return false;
}

// The DLL on probation is not in place (dll_present and in_place tell what is). Installing a DLL
// records its probation before the swap, so a killed launcher can leave the old DLL in place with a
// probation of the new one; a rollback killed after its move leaves the previous DLL back without
// its records. No DLL with the old one aside is what a swap or rollback that moved the DLL out
// first leaves. Gives the code, or -1 when none of these fits.
static int finish_or_undo(const UpdatePaths* paths, const BootState* boot, bool dll_present, const char* in_place,
                          const char* failed_path, char* message, size_t message_size) {
    bool failed_twice = boot->attempts >= BOOT_FAILED_STARTS;
    if (!dll_present && previous_dll_kept(boot)) {
        if (!patient_move(boot->previous_path, paths->dll_path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            format_text(message, message_size, "the rollback of the DLL failed (error %lu)", GetLastError());
            return BOOT_STUCK;
        }
        if (failed_twice) return record_rollback(paths, boot, message, message_size);
        log_line("boot check: the update to DLL version %llu was cut short: the previous DLL (version %llu) is back in "
                 "place",
                 (unsigned long long)boot->pending_version, (unsigned long long)boot->previous_version);
        if (end_undone_probation(paths, boot)) return dll_boot_check(paths, message, message_size);
        return BOOT_NO_PROBATION;
    }
    bool old_in_place = dll_present && boot->previous_sha512[0] && strcmp(in_place, boot->previous_sha512) == 0;
    if (old_in_place && failed_twice && is_file(failed_path)) {
        return record_rollback(paths, boot, message, message_size);
    }
    if (!dll_present || old_in_place) {
        log_line("boot check: DLL version %llu never took its place (its update was cut short): its probation ends",
                 (unsigned long long)boot->pending_version);
        if (end_undone_probation(paths, boot)) return dll_boot_check(paths, message, message_size);
        return BOOT_NO_PROBATION;
    }
    return -1;
}

int dll_boot_check(const UpdatePaths* paths, char* message, size_t message_size) {
    if (message && message_size) message[0] = 0;
    char boot_path[PATH_CAP];
    if (join_path(boot_path, sizeof boot_path, paths->updates_folder, BOOT_STATE_FILE) + 1 >= sizeof boot_path) {
        return BOOT_NO_PROBATION;
    }
    char* text = nullptr;
    size_t length = 0;
    if (!read_whole_file(boot_path, BOOT_STATE_LIMIT, &text, &length)) return BOOT_NO_PROBATION;
    BootState boot;
    boot_state_from_text(text, &boot);
    free(text);
    if (!boot.pending_sha512[0]) return BOOT_NO_PROBATION;
    // A digest goes into a file name and a previous path is moved over the DLL: values that are not
    // what the launcher writes end the probation, and nothing is moved.
    const char* refusal = boot_state_refusal(paths, &boot);
    if (refusal) {
        log_line("boot check: boot.json is not acted on (%s): the probation ends and nothing is moved", refusal);
        boot_state_remove(paths);
        return BOOT_NO_PROBATION;
    }
    digest_hex_lower(boot.pending_sha512);
    digest_hex_lower(boot.previous_sha512);

    char failed_folder[PATH_CAP], failed_path[PATH_CAP];
    join_path(failed_folder, sizeof failed_folder, paths->updates_folder, "failed");
    format_text(failed_path, sizeof failed_path, "%s\\d3d8_%.16s.dll", failed_folder, boot.pending_sha512);

    // A DLL that cannot be read is taken for the one on probation, as it always was.
    char in_place[DIGEST_HEX_CAP] = "";
    bool dll_present = is_file(paths->dll_path);
    uint8_t digest[64];
    uint64_t size = 0;
    bool readable = dll_present && sha512_file(paths->dll_path, digest, &size);
    if (readable) hex_encode(digest, 64, in_place);
    if (!dll_present || (readable && strcmp(in_place, boot.pending_sha512) != 0)) {
        int code = finish_or_undo(paths, &boot, dll_present, in_place, failed_path, message, message_size);
        if (code >= 0) return code;
    }

    if (boot.attempts < BOOT_FAILED_STARTS) return BOOT_ON_PROBATION;
    if (!previous_dll_kept(&boot)) {
        format_text(message, message_size,
                    "the new DLL (version %llu) failed to start %d times, but no previous DLL is kept",
                    (unsigned long long)boot.pending_version, clamp_attempts(boot.attempts));
        return BOOT_STUCK;
    }
    // The failed DLL is copied out and the previous one replaces it in a single move, so the DLL path
    // never stands empty; a failure leaves the DLL on probation in place.
    make_dirs(failed_folder);
    bool copied = patient_copy(paths->dll_path, failed_path, false);
    if (copied) SetFileAttributesA(paths->dll_path, FILE_ATTRIBUTE_NORMAL);  // a read-only file is not replaced
    if (!copied ||
        !patient_move(boot.previous_path, paths->dll_path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        format_text(message, message_size, "the rollback of the DLL failed (error %lu)", GetLastError());
        return BOOT_STUCK;
    }
    return record_rollback(paths, &boot, message, message_size);
}
