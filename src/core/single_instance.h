// One launcher per game folder: two launchers on one folder would swap the same files and write the
// same state files behind each other's back. The first holds a named mutex derived from the game
// folder's full path (case-blind) until it ends, also when it is killed; a second start finds it.
#pragma once

// Claims the game folder for this launcher; false when another launcher holds it.
bool claim_game_folder(const char* game_folder);
// Marks the window as the one of this folder's launcher, so that a second start can find it.
void mark_launcher_window(void* window, const char* game_folder);
// Brings the window of this folder's launcher to the front; false when none was found.
bool bring_launcher_window_forward(const char* game_folder);
