// The folder page: during start-up the player confirms the game folder that discovery offers, or
// types, pastes or browses to another one.
#pragma once

#include <stddef.h>

#include "core/text.h"

// The longest validation message.
static const size_t FOLDER_ERROR_CAP = 400;

// Shows the window on the folder page with first_candidate (empty or null: an empty box) and runs the
// page until the player confirms a folder that holds pes6.exe (true, the folder in folder) or closes
// the window (false). launcher_dir is where "Browse..." starts when nothing better is known.
bool run_folder_page(const char* first_candidate, const char* launcher_dir, char* folder, size_t cap) MUST_USE;

// Checks what the player gave: a folder, or the path of an .exe in it, maybe quoted, maybe with
// %variables%. True and the game folder (after the path rule) in folder; false and the message to
// show in error.
bool validate_folder_text(const char* text, char* folder, size_t cap, char* error, size_t error_cap) MUST_USE;

// Where "Browse..." opens: what the box holds when that exists, else the first candidate, else the
// launcher's folder.
void choose_browse_start(const char* edit_text, const char* first_candidate, const char* launcher_dir, char* out,
                         size_t cap);
