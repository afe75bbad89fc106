// The owner-drawn buttons: the WM_DRAWITEM routine for every button of the window.
#pragma once

#include <windows.h>

// Draws one owner-drawn button; the two server cards have their own pictures.
void draw_owner_button(const DRAWITEMSTRUCT* item);
// The page's primary buttons, drawn highlighted.
bool is_primary_button(int id);
