// Building the fixed update paths.
#include "updates/update_paths.h"

#include <string.h>

#include "core/file_system.h"
#include "core/text.h"

// Each field holds at most 259 characters.
static void set_path(char* field, const char* folder, const char* rest) {
    format_text(field, PATH_CAP, "%s%s", folder, rest);
}

void update_paths_init(UpdatePaths* paths, const char* game_folder) {
    char folder[PATH_CAP];
    copy_text(folder, sizeof folder, game_folder);
    size_t len = strlen(folder);
    if (len > 0 && folder[len - 1] == '\\') folder[len - 1] = 0;

    copy_text(paths->game_folder, PATH_CAP, folder);
    set_path(paths->updates_folder, folder, "\\ombrix_data\\updates");
    set_path(paths->bots_folder, folder, "\\ombrix_data\\bot_takeover");
    set_path(paths->runtime_folder, paths->bots_folder, "\\jre");
    set_path(paths->dll_path, folder, "\\d3d8.dll");
    set_path(paths->launcher_path, folder, "\\ZANDOR Launcher.exe");
    make_dirs(paths->updates_folder);
}
