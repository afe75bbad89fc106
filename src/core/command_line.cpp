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
    for (int i = 0; i < count; i++) {
        if (strcmp(args[i], "--no-game") == 0) out->no_game = true;
        if (strcmp(args[i], "--uninstall") == 0) out->uninstall = true;
    }
}
