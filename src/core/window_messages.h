// The window's own messages, posted by worker threads with wParam and lParam 0: the only road from a
// worker to the window. Defined here once, without Windows headers, for the workers and the window.
#pragma once

static const unsigned WM_LOGIN_DONE = 0x8000 + 1;      // WM_APP + 1: the account worker has finished
static const unsigned WM_PLAYERS_ONLINE = 0x8000 + 2;  // WM_APP + 2: a new players-online count is stored
static const unsigned WM_BUSY_WORK_DONE = 0x8000 + 3;  // WM_APP + 3: the worker of a busy window action has ended
