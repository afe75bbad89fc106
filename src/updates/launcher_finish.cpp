// The command that puts a new launcher in place once the running one has ended, and the record of
// it in the updates folder ("launcher_command.txt": process id, creation time, staged file) by which
// a later start tells whether it still waits.
#include "updates/launcher_finish.h"

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "core/atomic_file.h"
#include "core/detached_command.h"
#include "core/log.h"
#include "core/text.h"
#include "updates/state_files.h"

static const char* const FINISHING_COMMAND_FILE = "launcher_command.txt";

static bool finishing_command_path(const UpdatePaths* paths, char* out, size_t cap) {
    return join_path(out, cap, paths->updates_folder, FINISHING_COMMAND_FILE) + 1 < cap;
}

// The recorded command and its staged file; false when there is no readable record.
static bool load_finishing_command(const UpdatePaths* paths, DetachedCommand* command, char* staged, size_t cap) {
    char path[PATH_CAP];
    char* text = nullptr;
    size_t length = 0;
    if (!finishing_command_path(paths, path, sizeof path) || !read_whole_file(path, 1024, &text, &length)) return false;
    unsigned long process_id = 0;
    unsigned long long created = 0;
    int consumed = 0;
    bool read = sscanf(text, "%lu %llu %n", &process_id, &created, &consumed) == 2 && consumed > 0;
    if (read) {
        copy_text(staged, cap, text + consumed);
        staged[strcspn(staged, "\r\n")] = 0;
        command->process_id = (uint32_t)process_id;
        command->created = created;
    }
    free(text);
    return read;
}

static void save_finishing_command(const UpdatePaths* paths, const DetachedCommand* command, const char* staged) {
    char path[PATH_CAP], text[PATH_CAP + 64];
    size_t length = format_text(text, sizeof text, "%lu %llu %s\r\n", (unsigned long)command->process_id,
                                (unsigned long long)command->created, staged);
    if (finishing_command_path(paths, path, sizeof path) && !write_file_atomic(path, text, length)) {
        log_line("the launcher's finishing command could not be recorded in %s", path);
    }
}

bool launcher_finish_waits(const UpdatePaths* paths, const char* staged) {
    DetachedCommand earlier;
    char earlier_staged[PATH_CAP];
    if (!load_finishing_command(paths, &earlier, earlier_staged, sizeof earlier_staged) ||
        !detached_command_running(&earlier)) {
        return false;
    }
    if (text_equal_nocase(earlier_staged, staged)) return true;
    stop_detached_command(&earlier);
    return false;
}

bool launcher_finish_start(const UpdatePaths* paths, const char* staged, const char* target) {
    char move[700], command[1000];
    DetachedCommand started;
    if (!path_fits_command(staged) || !path_fits_command(target) ||
        format_text(move, sizeof move, "move /y \"%s\" \"%s\" >nul 2>&1", staged, target) + 1 >= sizeof move ||
        !format_retrying_command(command, sizeof command, move, staged) ||
        !start_detached_command(command, &started)) {
        return false;
    }
    save_finishing_command(paths, &started, staged);
    return true;
}

void launcher_finish_stop(const UpdatePaths* paths) {
    DetachedCommand command;
    char staged[PATH_CAP];
    if (load_finishing_command(paths, &command, staged, sizeof staged)) stop_detached_command(&command);
}

void launcher_finish_forget(const UpdatePaths* paths) {
    char path[PATH_CAP];
    if (finishing_command_path(paths, path, sizeof path)) DeleteFileA(path);
}
