// Reading the launcher's command line. Portable: works on arguments already in the ANSI code page.
#pragma once

struct CommandLine {
    bool grant;        // the grant form: exactly "--grant-folder" folder "--grant-sid" SID
    char grant_folder[260];
    char grant_sid[200];
    bool no_game;      // "--no-game" anywhere
    bool uninstall;    // "--uninstall" anywhere
};

// args are the arguments after the program name. Comparisons are exact and case-sensitive.
void parse_command_line(int count, const char* const* args, CommandLine* out);
