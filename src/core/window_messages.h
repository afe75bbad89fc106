// The window's own messages, posted by worker threads: the only road from a worker to the window.
#pragma once

#define WM_LOGIN_DONE_ID (0x8000 + 1)      // WM_APP + 1: the account worker has finished
#define WM_PLAYERS_ONLINE_ID (0x8000 + 2)  // WM_APP + 2: a new players-online count is stored
