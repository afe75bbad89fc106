// The log-in flow: one account worker at a time, its answer handled on the window thread, the
// browser log-in with its code and polling, log-out and "Not you?". It drives the window's pages.
#pragma once

enum LoginMode { LOGIN_WEBLOGIN = 0, LOGIN_WEBPOLL = 1, LOGIN_RENEW = 2, LOGIN_AUTO = 3, LOGIN_ACCEPT_TERMS = 4 };

// A sentence of the log-in flow for the update outcome line; empty unless the account server could
// not be reached while renewing.
extern char login_outcome_note[300];

// Hooks the flow into the window's buttons, timer and message, and points the update run at the
// current log-in. Called once at start-up before the window shows.
void login_flow_attach();
// Starts the account worker in a mode, unless one runs.
void start_login_worker(int mode);
// The window thread's handler of WM_LOGIN_DONE.
void on_login_done();
// "Log in with Google" (or "Cancel" while the browser log-in waits).
void on_login_button();
// TIMER_LOGIN_POLL: one poll, unless one is running.
void on_poll_timer();
void stop_browser_wait();
// Either "Log out" button.
void log_out();
// "Not you?" after an automatic log-in: forgets this PC's marker and the log-in.
void not_you();
// Before the uninstall removes the log-in's files: the browser poll stops, every answer still on its
// way is ignored, and the account worker (which stores PC markers) is waited for, at most wait_ms;
// false when it still runs then.
bool end_login_activity(unsigned long wait_ms);
