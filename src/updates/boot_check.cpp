// Reading boot.json at start-up and rolling a failed client DLL back.
#include "updates/boot_check.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "core/text.h"
#include "updates/file_digest.h"
#include "updates/state_files.h"
#include "updates/state_text.h"

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
    if (boot.attempts < BOOT_FAILED_STARTS) return BOOT_ON_PROBATION;

    int attempts = boot.attempts > 0x7FFFFFFF ? 0x7FFFFFFF : (int)boot.attempts;
    if (!boot.previous_path[0] || !is_file(boot.previous_path)) {
        format_text(message, message_size,
                    "the new DLL (version %llu) failed to start %d times, but no previous DLL is kept",
                    (unsigned long long)boot.pending_version, attempts);
        return BOOT_STUCK;
    }

    char failed_folder[PATH_CAP], failed_path[PATH_CAP];
    join_path(failed_folder, sizeof failed_folder, paths->updates_folder, "failed");
    make_dirs(failed_folder);
    format_text(failed_path, sizeof failed_path, "%s\\d3d8_%.16s.dll", failed_folder, boot.pending_sha512);
    // A start killed between the two moves left no DLL in place: the second move finishes the work.
    if (is_file(paths->dll_path) &&
        !MoveFileExA(paths->dll_path, failed_path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        format_text(message, message_size, "the rollback of the DLL failed (error %lu)", GetLastError());
        return BOOT_STUCK;
    }
    if (!MoveFileExA(boot.previous_path, paths->dll_path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD code = GetLastError();
        // Put the DLL on probation back rather than leave the game without any DLL.
        MoveFileExA(failed_path, paths->dll_path, MOVEFILE_REPLACE_EXISTING);
        format_text(message, message_size, "the rollback of the DLL failed (error %lu)", code);
        return BOOT_STUCK;
    }

    InstalledState installed;
    installed_state_load(paths, &installed);
    copy_text(installed.bad_dll_sha512, sizeof installed.bad_dll_sha512, boot.pending_sha512);
    copy_text(installed.dll_sha512, sizeof installed.dll_sha512, boot.previous_sha512);
    installed.version[PART_DLL] = (uint32_t)boot.previous_version;
    installed_state_save(paths, &installed);
    DeleteFileA(boot_path);
    format_text(message, message_size,
                "the new DLL (version %llu) failed to start %d times: the previous DLL (version %llu) is back from "
                "the next start",
                (unsigned long long)boot.pending_version, attempts, (unsigned long long)boot.previous_version);
    return BOOT_ROLLED_BACK;
}
