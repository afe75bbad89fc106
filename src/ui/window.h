// The launcher's one window: its class, creation and placement, showing it on a page, and the message
// loop that drives it.
#pragma once

#include <windows.h>

// Creates the window (not shown yet), its fonts and its controls. Runs once.
void create_main_window(HINSTANCE instance);
// Creates the window unless it exists, shows it on the page and starts the status timer.
void open_window(HINSTANCE instance, int page);
// Runs messages until the quit message, offering each to the window's dialog manager first (Tab,
// Space and Enter).
void run_message_loop();
