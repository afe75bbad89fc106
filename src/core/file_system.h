// Paths and folders on disk: the path capacity every module uses, what a path names (a file, a
// folder, anything) and creating the folders along a path.
#pragma once

// Room for a path of 259 characters and its terminating zero: the one path capacity of every module
// (the system's MAX_PATH, which the ANSI calls the launcher makes also take).
#define PATH_CAP 260

// True when path names something that exists (a file or a folder).
bool path_exists(const char* path);
// True when path names an existing file that is not a folder.
bool is_file(const char* path);
// True when path names an existing folder.
bool is_folder(const char* path);
// Creates every missing folder along path (a drive root is never created); true when path then
// exists as a folder.
bool make_dirs(const char* path);
// make_dirs of the part of path before its last backslash.
bool make_parent_dirs(const char* path);
