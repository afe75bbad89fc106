// The actions of the pages' underlined links.
#pragma once

// Runs one link action (LINK_SIGNUP ... LINK_REOPEN_LOGIN) on the window thread; others do nothing.
void run_link_action(int action);
// Opens an address that the account server gave (its terms page, the browser log-in page) in the
// browser, only when it is a web address (is_web_address); anything else is logged as "%s: the
// address ... is not a web address" with what, and not opened. True when it went to the browser.
bool open_server_address(const char* address, const char* what);
