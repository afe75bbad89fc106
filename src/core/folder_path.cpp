// The game-folder test and the path rule.
#include "core/folder_path.h"

#include <windows.h>
#include <string.h>

#include "core/file_system.h"
#include "core/text.h"

bool is_game_folder(const char* folder) {
    if (!folder || !folder[0]) return false;
    char exe[PATH_CAP];
    // A path cut at the capacity would name another file: such a folder is not a game folder.
    if (join_path(exe, sizeof exe, folder, "pes6.exe") + 1 >= sizeof exe) return false;
    return is_file(exe);
}

void apply_path_rule(char* path, size_t cap) {
    char full[PATH_CAP];
    DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (n > 0 && n < sizeof full) copy_text(path, cap, full);
    size_t len = strlen(path);
    while (len > 3 && (path[len - 1] == '\\' || path[len - 1] == '/')) path[--len] = 0;
}
