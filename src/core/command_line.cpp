// The command-line forms: the grant run, "--no-game" and "--uninstall".
#include "core/command_line.h"

#include <string.h>

#include "core/text.h"

void parse_command_line(int count, const char* const* args, CommandLine* out) {
    memset(out, 0, sizeof *out);
    if (count == 4 && strcmp(args[0], "--grant-folder") == 0 && strcmp(args[2], "--grant-sid") == 0) {
        out->grant = true;
        copy_text(out->grant_folder, sizeof out->grant_folder, args[1]);
        copy_text(out->grant_sid, sizeof out->grant_sid, args[3]);
        return;
    }
    // Only the launcher itself starts a run with "--grant-folder", elevated: when its arguments came
    // out wrong, that run must not go on as a whole launcher with administrator rights.
    out->grant_refused = count > 0 && strcmp(args[0], "--grant-folder") == 0;
    for (int i = 0; i < count; i++) {
        if (strcmp(args[i], "--no-game") == 0) out->no_game = true;
        if (strcmp(args[i], "--uninstall") == 0) out->uninstall = true;
    }
}

bool format_grant_parameters(char* out, size_t cap, const char* folder, const char* sid) {
    size_t length = strlen(folder), trailing = 0;
    while (trailing < length && folder[length - 1 - trailing] == '\\') trailing++;
    // A folder holding a quote cannot be carried at all; no folder name does.
    if (strchr(folder, '"')) return false;
    size_t written = format_text(out, cap, "--grant-folder \"%s", folder);
    for (size_t i = 0; i < trailing; i++) written = append_text(out, cap, "\\");
    written = append_format(out, cap, "\" --grant-sid %s", sid);
    return written + 1 < cap;
}
