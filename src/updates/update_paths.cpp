// Building the fixed update paths and creating folders along a path.
#include "updates/update_paths.h"

#include <windows.h>
#include <string.h>

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

static bool is_folder(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool make_dirs(const char* path) {
    char part[PATH_CAP];
    copy_text(part, sizeof part, path);
    for (size_t i = 1; part[i]; i++) {
        // A drive root (the backslash after "C:") is never created.
        if (part[i] != '\\' || part[i - 1] == ':') continue;
        part[i] = 0;
        CreateDirectoryA(part, nullptr);
        part[i] = '\\';
    }
    CreateDirectoryA(part, nullptr);
    return is_folder(part);
}

bool make_parent_dirs(const char* path) {
    char parent[PATH_CAP];
    copy_text(parent, sizeof parent, path);
    char* last = strrchr(parent, '\\');
    if (last) *last = 0;
    return make_dirs(parent);
}
