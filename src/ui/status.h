// The main page's status line: the text setter, the 250 ms tick that follows the update run, the
// download text and the countdown that ends in the start step.
#pragma once

#include <windows.h>

// Sets the status text; an unchanged text invalidates nothing, a new one only the main card.
void set_status_text(const char* text);
// One TIMER_STATUS tick.
void status_tick();
// "Updating ZANDOR: ..." for the byte counts (done is clamped to total; total above 0).
void format_download_text(unsigned long long done_bytes, unsigned long long total_bytes, char* text, unsigned size);
// The countdown length in ms for the given state; since_outcome is the time since the finished run
// was first seen.
DWORD countdown_length(bool play_game, bool play_now_pressed, bool not_you_offered, DWORD since_outcome);
