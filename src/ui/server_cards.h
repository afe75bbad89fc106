// The server page's two cards and the main page's one-line server summary.
#pragma once

#include <windows.h>

// The large recommended card for the ZANDOR server, with the players line when a count is known.
void draw_server_card(const DRAWITEMSTRUCT* item);
// The smaller card for any server (the game keeps its own server).
void draw_any_server_card(const DRAWITEMSTRUCT* item);
// Fills the server line from the current choice; callers invalidate.
void update_server_line();
// The players line for a count (nothing for a negative count); gives false when none is shown.
bool players_line(long count, char* text, unsigned size);
