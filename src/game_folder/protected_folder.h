// A game folder that the player may not write (for example under Program Files): asking once,
// unlocking it with the elevated grant run, and removing file-virtualisation leftovers.
#pragma once

#include <stddef.h>

// The write check: a temporary file can be made, and an existing d3d8.dll can be replaced.
bool folder_writable(const char* folder);
// True when the folder is or became writable; false (after a warning) when the launcher must stop.
// Leaves its story for the log in launcher.folder_note.
bool ensure_writable(const char* folder);
// Removes the VirtualStore copies of the launcher's files for folder; gives how many went.
int clean_virtual_store(const char* folder);
