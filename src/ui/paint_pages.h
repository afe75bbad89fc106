// Painting the window: the header and each page's content, drawn off screen and copied in one go.
#pragma once

#include <windows.h>

// The WM_PAINT routine: draws the whole client into dc.
void paint_window(HWND window, HDC dc);
// The main page's card and the progress track inside it, in pixels: painted here, invalidated by the
// status line.
RECT main_card_rect();
RECT progress_track_rect();
// The progress bar's fill rect inside the track (L, T, R, B) for the run's state; false when there is
// no fill.
bool progress_fill_rect(RECT track, bool run_done, unsigned long long done_bytes, unsigned long long total_bytes,
                        RECT* fill);
// The log-in status text of the log-in and terms pages; is_error paints it in the error colour.
void set_login_status(const char* text, bool is_error);
