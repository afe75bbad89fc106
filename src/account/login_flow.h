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
// Either "Log out" button. The update run is stopped on a worker while the window shows it is busy;
// the log-in page follows when it has stopped.
void log_out();
// "Not you?" after an automatic log-in: forgets this PC's marker and the log-in. The update run is
// stopped and the account server told on a worker while the window shows it is busy.
void not_you();
// Before the uninstall removes the log-in's files (window thread): the browser poll stops and every
// answer still on its way is ignored.
void end_login_activity();
// Waits at most wait_ms for the account worker (which stores PC markers) to end; false when it still
// runs then. Any thread; the uninstall waits on its own worker.
bool wait_for_login_worker(unsigned long wait_ms);
