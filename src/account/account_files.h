// What the launcher keeps about the player on the PC: session.dat (the saved log-in under the Data
// Protection API) and the PC marker in four places (three hidden ".marker" files and one registry
// value). Every file or registry failure here is silent; the callers report.
#pragma once

#include <stddef.h>

#include "account/pc_marker.h"
#include "account/saved_login.h"

enum AccountPlace { PLACE_LOCAL, PLACE_ROAMING, PLACE_PROGRAMDATA, PLACE_COUNT };

// <known folder>\zandor of a place; false when Windows does not give the known folder.
bool account_folder(int place, char* out, size_t capacity) MUST_USE;
bool marker_path(int place, char* out, size_t capacity) MUST_USE;
// session.dat in the local place.
bool session_path(char* out, size_t capacity) MUST_USE;

// Creates the folders along path and writes the bytes as a new hidden file, atomically (a ".new"
// moved over the old file, so a kill leaves the old file or the new one); true when all went.
bool write_hidden_file(const char* path, const void* bytes, size_t length) MUST_USE;

bool save_login(const SavedLogin* login) MUST_USE;
// Clears login first; true when a saved log-in was read.
bool load_login(SavedLogin* login) MUST_USE;
// True when session.dat was deleted or was not there (a leftover session.dat.new goes too).
bool delete_saved_login();

// The markers field of the log-in requests: every marker found, once each, joined by ",", or "-".
void collect_markers(char* out, size_t capacity);
// Writes a marker to all four places; gives how many took it (0 when the text is not a marker).
int store_marker(const char* marker);
// Removes the copies that hold this marker; the folders stay.
void forget_marker(const char* marker);
// Removes session.dat, every marker, launcher.ini of the roaming place and the emptied folders.
void remove_account_files();
