// Reading the launcher's command line, and writing the grant run's. Portable: works on arguments
// already in the ANSI code page.
#pragma once

#include <stddef.h>

#include "core/file_system.h"

struct CommandLine {
    bool grant;          // the grant form: exactly "--grant-folder" folder "--grant-sid" SID
    bool grant_refused;  // starts with "--grant-folder" but is not the grant form: nothing else may run
    char grant_folder[PATH_CAP];
    char grant_sid[200];
    bool no_game;        // "--no-game" anywhere
    bool uninstall;      // "--uninstall" anywhere
};

// args are the arguments after the program name. Comparisons are exact and case-sensitive.
void parse_command_line(int count, const char* const* args, CommandLine* out);
// The grant run's parameters, "--grant-folder "<folder>" --grant-sid <sid>", quoted so that the
// system's argument splitting gives the folder back as it is: backslashes before the closing quote
// (a drive root such as D:\) are doubled, or they would escape it. False when they do not fit.
bool format_grant_parameters(char* out, size_t cap, const char* folder, const char* sid);
