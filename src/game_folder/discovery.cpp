// Game folder discovery. Runs before the log is open, so it logs nothing.
#include "game_folder/discovery.h"

#include <windows.h>
#include <shlobj.h>
#include <string.h>

#include "core/file_system.h"
#include "core/folder_path.h"
#include "core/settings.h"
#include "core/text.h"
#include "game_folder/folder_page.h"

static const char USUAL_INSTALL_SOURCE[] =
    "the usual install folder (Program Files\\KONAMI\\Pro Evolution Soccer 6)";

// Takes folder after the path rule when it is a game folder.
static bool take_if_game_folder(const char* candidate, char* folder, size_t cap) {
    char path[PATH_CAP];
    copy_text(path, sizeof path, candidate);
    apply_path_rule(path, sizeof path);
    if (!is_game_folder(path)) return false;
    copy_text(folder, cap, path);
    return true;
}

bool find_game_folder_at_once(const char* launcher_dir, char* folder, size_t cap, char* source, size_t source_cap) {
    if (is_game_folder(launcher_dir)) {
        copy_text(folder, cap, launcher_dir);
        apply_path_rule(folder, cap);
        copy_text(source, source_cap, "the launcher's own folder");
        return true;
    }
    const int places[] = {CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES};
    for (int place : places) {
        char program_files[PATH_CAP] = "";
        if (SHGetFolderPathA(nullptr, place, nullptr, SHGFP_TYPE_CURRENT, program_files) != S_OK) continue;
        if (!program_files[0]) continue;
        char path[PATH_CAP];
        join_path(path, sizeof path, program_files, "KONAMI\\Pro Evolution Soccer 6");
        if (take_if_game_folder(path, folder, cap)) {
            copy_text(source, source_cap, USUAL_INSTALL_SOURCE);
            return true;
        }
    }
    return false;
}

// A string value of an open key: REG_SZ or REG_EXPAND_SZ (used as stored), not empty.
static bool read_text_value(HKEY key, const char* name, char* out, size_t cap) {
    DWORD type = 0;
    DWORD size = (DWORD)cap - 1;
    memset(out, 0, cap);
    if (RegQueryValueExA(key, name, nullptr, &type, (BYTE*)out, &size) != ERROR_SUCCESS) return false;
    out[cap - 1] = 0;
    return (type == REG_SZ || type == REG_EXPAND_SZ) && out[0];
}

static bool names_the_game(const char* display_name) {
    char name[PATH_CAP];
    copy_text(name, sizeof name, display_name);
    ascii_lower_text(name);
    return strstr(name, "pes 6") || strstr(name, "pes6") || strstr(name, "pro evolution soccer 6");
}

// Looks through the sub-keys of root\path in one registry view. For the install-folder key every
// sub-key's "installdir" counts; for the Uninstall key only entries whose name is the game's.
static bool search_registry_key(HKEY root, const char* path, REGSAM view, bool uninstall_entries,
                                char* folder, size_t cap) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    bool found = false;
    for (DWORD index = 0; index < 4000 && !found; index++) {
        char name[256];
        DWORD name_size = sizeof name;
        if (RegEnumKeyExA(key, index, name, &name_size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY sub;
        if (RegOpenKeyExA(key, name, 0, KEY_READ | view, &sub) != ERROR_SUCCESS) continue;
        char value[PATH_CAP];
        if (uninstall_entries) {
            if (read_text_value(sub, "DisplayName", value, sizeof value) && names_the_game(value) &&
                read_text_value(sub, "InstallLocation", value, sizeof value)) {
                found = take_if_game_folder(value, folder, cap);
            }
        } else if (read_text_value(sub, "installdir", value, sizeof value)) {
            found = take_if_game_folder(value, folder, cap);
        }
        RegCloseKey(sub);
    }
    RegCloseKey(key);
    return found;
}

bool find_first_candidate(const char* launcher_dir, char* folder, size_t cap) {
    if (read_remembered_folder(launcher_dir, folder, cap)) return true;
    const REGSAM views[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    for (REGSAM view : views) {
        for (HKEY root : roots) {
            if (search_registry_key(root, "SOFTWARE\\KONAMIPES6", view, false, folder, cap)) return true;
            if (search_registry_key(root, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", view, true,
                                    folder, cap)) {
                return true;
            }
        }
    }
    return false;
}

bool find_game_folder(const char* launcher_dir, char* folder, size_t cap, char* source, size_t source_cap) {
    if (find_game_folder_at_once(launcher_dir, folder, cap, source, source_cap)) return true;
    // A candidate is never taken without the player: the folder page offers it.
    char candidate[PATH_CAP] = "";
    if (!find_first_candidate(launcher_dir, candidate, sizeof candidate)) candidate[0] = 0;
    if (!run_folder_page(candidate, launcher_dir, folder, cap)) return false;
    save_game_folder(launcher_dir, folder);
    copy_text(source, source_cap, "given on the folder page (typed, pasted or browsed)");
    return true;
}
