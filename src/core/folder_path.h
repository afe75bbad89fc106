// The game-folder test and the path rule shared by discovery, settings, the folder page and the
// uninstall.
#pragma once

#include <stddef.h>

// True when folder is not empty and folder\pes6.exe is an existing file (not a directory).
bool is_game_folder(const char* folder);
// Makes path absolute (unchanged when that fails) and removes trailing backslashes and slashes while
// it is longer than three characters, so that C:\ keeps its backslash. Works in place.
void apply_path_rule(char* path, size_t cap);
