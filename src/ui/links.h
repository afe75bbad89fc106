// The actions of the pages' underlined links.
#pragma once

// Runs one link action (LINK_SIGNUP ... LINK_REOPEN_LOGIN) on the window thread; others do nothing.
void run_link_action(int action);
