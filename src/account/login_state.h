// The current log-in of this run, shared by start-up, the log-in flow, the update run and the
// uninstall. Written by the window (main) thread only; workers get it before they start.
#pragma once

#include "account/saved_login.h"

// The saved log-in in use; an empty token means nobody is logged in.
extern SavedLogin current_login;
// The player is logged in (painting, the update run, the game account file).
extern bool account_logged_in;
