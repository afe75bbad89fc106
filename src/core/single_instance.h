// One launcher per game folder: two launchers on one folder would swap the same files and write the
// same state files behind each other's back. The first owns a named mutex derived from the game
// folder's identity until its main thread ends, also when it is killed; a second start finds it and
// can wait for it to end.
#pragma once

#include <stdint.h>

// The folder's key: its volume serial number and file index when the folder can be opened, so that
// every spelling of one folder (a short name, another drive letter, a link) gives the same key;
// otherwise its full path, compared as the file system compares names.
uint64_t game_folder_key(const char* game_folder);
// Claims the game folder for this launcher (the calling thread owns the claim until it ends); false
// when another launcher holds it.
bool claim_game_folder(const char* game_folder);
// After a refused claim: waits at most wait_ms for the other launcher to end; true when it ended and
// the game folder is now this launcher's.
bool wait_for_game_folder(unsigned long wait_ms);
// Marks the window as the one of this folder's launcher, so that a second start can find it.
void mark_launcher_window(void* window, const char* game_folder);
// Brings the window of this folder's launcher to the front; false when none was found.
bool bring_launcher_window_forward(const char* game_folder);
