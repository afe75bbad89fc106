// The settings files, read and written with the profile-string functions.
#include "core/settings.h"

#include <windows.h>
#include <shlobj.h>

#include "build_config.h"
#include "core/file_system.h"
#include "core/folder_path.h"
#include "core/patient_files.h"
#include "core/text.h"

void read_setting(const char* ini_path, const char* section, const char* key, const char* fallback,
                  char* out, size_t cap) {
    if (cap == 0) return;
    GetPrivateProfileStringA(section, key, fallback, out, (DWORD)cap, ini_path);
    out[cap - 1] = 0;
}

bool write_setting(const char* ini_path, const char* section, const char* key, const char* value) {
    Patience patience;
    patience_begin(&patience, ini_path);
    while (!WritePrivateProfileStringA(section, key, value, ini_path)) {
        // A folder in the file's place, a read-only file or one our account may not write refuses
        // the write for good.
        if (access_denied_for_good(ACT_WRITE, ini_path, nullptr) || !patience_again(&patience)) return false;
    }
    return true;
}

void read_folder_setting(const char* folder, const char* file_name, const char* section, const char* key,
                         const char* fallback, char* out, size_t cap) {
    char path[PATH_CAP];
    join_path(path, sizeof path, folder, file_name);
    read_setting(path, section, key, fallback, out, cap);
}

bool migrate_settings(const char* game_folder, char* note, size_t note_cap) {
    char current[PATH_CAP], older[PATH_CAP];
    join_path(current, sizeof current, game_folder, "zandor.ini");
    join_path(older, sizeof older, game_folder, "tolven.ini");
    if (is_file(current) || !is_file(older)) return false;
    bool moved = patient_move(older, current, 0) || patient_copy(older, current, true);
    format_text(note, note_cap, "settings: tolven.ini %s zandor.ini", moved ? "moved to" : "could NOT be moved to");
    return true;
}

bool launcher_ini_path(char* out, size_t cap) {
    char appdata[PATH_CAP];
    if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appdata) != S_OK || !appdata[0]) {
        return false;
    }
    format_text(out, cap, "%s\\zandor\\launcher.ini", appdata);
    return true;
}

void save_game_folder(const char* launcher_dir, const char* folder) {
    char ini[PATH_CAP], back[PATH_CAP];
    join_path(ini, sizeof ini, launcher_dir, "zandor.ini");
    (void)write_setting(ini, "launcher", "game_folder", folder);
    // A write that did not reach the file shows in the read-back.
    read_setting(ini, "launcher", "game_folder", "", back, sizeof back);
    if (text_equal_nocase(back, folder)) return;

    if (!launcher_ini_path(ini, sizeof ini)) return;
    make_parent_dirs(ini);
    (void)write_setting(ini, "launcher", "game_folder", folder);
}

bool read_remembered_folder(const char* launcher_dir, char* out, size_t cap) {
    char folder[PATH_CAP];
    read_folder_setting(launcher_dir, "zandor.ini", "launcher", "game_folder", "", folder, sizeof folder);
    if (!is_game_folder(folder)) {
        char ini[PATH_CAP];
        folder[0] = 0;
        if (launcher_ini_path(ini, sizeof ini)) read_setting(ini, "launcher", "game_folder", "", folder, sizeof folder);
    }
    if (!is_game_folder(folder)) return false;
    apply_path_rule(folder, sizeof folder);
    copy_text(out, cap, folder);
    return true;
}

void read_language_setting(const char* game_folder, char* out, size_t cap) {
    read_folder_setting(game_folder, "zandor.ini", "overlay", "lang", "", out, cap);
    if (!out[0]) read_folder_setting(game_folder, "tolven.ini", "overlay", "lang", "", out, cap);
    if (!out[0]) read_folder_setting(game_folder, "ombrix.ini", "overlay", "lang", "en", out, cap);
}

void read_update_host_setting(const char* game_folder, char* out, size_t cap) {
    read_folder_setting(game_folder, "zandor.ini", "sync", "host", "", out, cap);
    if (!out[0]) read_folder_setting(game_folder, "ombrix.ini", "sync", "host", "", out, cap);
    if (!out[0]) copy_text(out, cap, ZANDOR_SERVER_ADDRESS);
}
