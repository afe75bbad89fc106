// The launcher's INI settings files: zandor.ini in the game folder and beside the launcher,
// launcher.ini in the application-data folder, and the read-only tolven.ini and ombrix.ini.
#pragma once

#include <stddef.h>

// Reads section/key of an INI file into out (cap bytes); a missing file or key gives fallback.
void read_setting(const char* ini_path, const char* section, const char* key, const char* fallback,
                  char* out, size_t cap);
// Writes section/key of an INI file (a null value removes the key); a file that another program
// holds for a moment is waited for (core/patient_files.h). True when the write call succeeded.
bool write_setting(const char* ini_path, const char* section, const char* key, const char* value);
// Reads section/key of the named file in folder (for example "zandor.ini").
void read_folder_setting(const char* folder, const char* file_name, const char* section, const char* key,
                         const char* fallback, char* out, size_t cap);

// Moves tolven.ini to zandor.ini in the game folder when only the older file is there (copies it
// when the move fails). Gives false when nothing was to migrate; otherwise writes the log note.
bool migrate_settings(const char* game_folder, char* note, size_t note_cap);

// The path of launcher.ini (application data\zandor\launcher.ini); false when there is none.
bool launcher_ini_path(char* out, size_t cap);
// Remembers the folder the player confirmed: zandor.ini beside the launcher, else launcher.ini.
void save_game_folder(const char* launcher_dir, const char* folder);
// The remembered game folder (after the path rule), or false when none holds pes6.exe.
bool read_remembered_folder(const char* launcher_dir, char* out, size_t cap);

// overlay/lang through zandor.ini, tolven.ini, ombrix.ini in the game folder, else "en".
void read_language_setting(const char* game_folder, char* out, size_t cap);
// sync/host through zandor.ini, ombrix.ini in the game folder, else the built-in server address.
void read_update_host_setting(const char* game_folder, char* out, size_t cap);
