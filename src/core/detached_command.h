// Commands of the system's command interpreter that go on after the launcher has ended: the
// launcher cannot delete or replace its own running file, so a small command does it once the
// process is gone.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Which process a started command is: its id and its creation time, which together name it even
// after the id has been given to another process.
struct DetachedCommand {
    uint32_t process_id;
    uint64_t created;
};

// Whether a path can stand in double quotes on such a command line: a quote would end it early, a
// %NAME% would be expanded by the interpreter, and ? or * would make a move or delete match other
// files, so that the command could name another file.
bool path_fits_command(const char* path);
// The command line that tries action about once a second (a ping of the local address), for up to
// ten minutes, until the file until_gone no longer exists: "for /l ... do (ping ... & <action> & if
// not exist "<until_gone>" exit)". False when it does not fit in cap or until_gone cannot stand on
// such a line (path_fits_command).
bool format_retrying_command(char* out, size_t cap, const char* action, const char* until_gone);
// Starts "<system folder>\cmd.exe /d /v:off /c <command>" (no AutoRun commands, no delayed
// expansion) with no window, the system folder as its current folder and no handles inherited,
// and lets it run on its own; false when the command line would be cut or the process cannot be
// started. started (when not null) tells which process it is.
bool start_detached_command(const char* command, DetachedCommand* started = nullptr);
// Whether the command still runs (false when that process is gone or is another one now).
bool detached_command_running(const DetachedCommand* command);
// Ends the command when it still runs.
void stop_detached_command(const DetachedCommand* command);
