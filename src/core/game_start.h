// The end of a run: telling the player a pending message, starting pes6.exe and closing the window.
#pragma once

// The start step, taken once by the window's status tick when the countdown runs out (the tick stops
// its timer first).
void take_start_step();
// The window hands in its status-line setter, so the start step can say "Starting the game..."
// without core depending on the window.
void set_start_status_hook(void (*hook)(const char* text));
// True when the game runs: it holds its mutex (the launcher never creates it).
bool game_is_running();
// Starts pes6.exe from the game folder with ZANDOR_LAUNCHER=1; true when the process was created.
bool start_game();
