// Commands of the system's command interpreter that go on after the launcher has ended: the
// launcher cannot delete or replace its own running file, so a small command does it once the
// process is gone.
#pragma once

#include <stddef.h>

// Whether a path can stand in double quotes on such a command line: a quote would end it early and
// a %NAME% would be expanded by the interpreter, so that the command could name another file.
bool path_fits_command(const char* path);
// Starts "<system folder>\cmd.exe /c <command>" with no window, the system folder as its current
// folder and no handles inherited, and lets it run on its own; false when the command line would
// be cut or the process cannot be started.
bool start_detached_command(const char* command);
