// The window's fonts and its eleven child controls: their table, their creation and which page shows
// which control.
#pragma once

#include <windows.h>

// Creates the seven fonts at the window's dpi; they live as long as the process.
void create_fonts();
// Creates the child controls hidden, in their creation order (which is also the Tab order).
void create_controls(HINSTANCE instance);
// Shows the controls of the page and hides every other one.
void show_page_controls(int page);
