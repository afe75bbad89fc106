// The command that puts a new launcher in place once the running one has ended: the running
// launcher's file cannot be replaced, so the command tries the one move that replaces it about once
// a second (a ping of about a second between tries) for up to ten minutes, and ends as soon as the
// staged file is gone (moved in). It does not watch the launcher's process: a move tried while the
// launcher still runs simply fails and is tried again. At most one such command runs per launcher
// file; a later start finds it by its record in the updates folder.
#pragma once

#include "updates/update_paths.h"

// Whether a command started earlier still waits to move this staged file in. One that was started
// for another staged file is ended here, so that it can never move an older launcher over a newer.
bool launcher_finish_waits(const UpdatePaths* paths, const char* staged);
// Starts the command that, about once a second for up to ten minutes, moves staged over target and
// stops as soon as the staged file is gone; records it. False when no command line can name the
// paths or the command did not start.
bool launcher_finish_start(const UpdatePaths* paths, const char* staged, const char* target);
// Ends the recorded command when it still runs (the uninstall: no launcher may be moved back after it).
void launcher_finish_stop(const UpdatePaths* paths);
// Forgets the record (the new launcher is in place).
void launcher_finish_forget(const UpdatePaths* paths);
