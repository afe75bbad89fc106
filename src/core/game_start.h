// The end of a run: telling the player a pending message, starting pes6.exe and closing the window.
#pragma once

// The start step, taken once when the countdown runs out (or directly when there is no window).
void take_start_step();
// Starts pes6.exe from the game folder with ZANDOR_LAUNCHER=1; true when the process was created.
bool start_game();
