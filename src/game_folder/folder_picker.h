// The system's folder pickers: the item dialog, and the older browse dialog where that one cannot be
// created.
#pragma once

#include <windows.h>
#include <stddef.h>

#include "core/text.h"

// Lets the player pick a folder, starting in start_folder (empty: the picker's own choice). True and
// the picked folder's path in out when the player picked one; false when cancelled or when no picker
// could be shown.
bool pick_folder(HWND owner, const char* start_folder, char* out, size_t cap) MUST_USE;
