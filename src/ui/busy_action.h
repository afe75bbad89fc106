// The window while one of its slower actions runs (log-out, "Not you?", the uninstall, saving the
// server choice): the action's waits and exchanges run on a worker, and the window stays answering
// but busy. The buttons that would start another action are disabled, commands, link clicks and the
// close box wait for the end, and the status tick counts nothing down. UI thread only.
#pragma once

#include <windows.h>

// Work of a busy action: the first part runs on a worker thread, the second on the window thread
// once the worker has ended (WM_BUSY_WORK_DONE).
typedef void (*BusyStep)(void* context);

bool window_busy();
// The window becomes busy: the action buttons are disabled and the countdown holds. status (already
// translated) goes on the status line of the page; null leaves the status line as it is.
void begin_busy(const char* status);
void set_busy_status(const char* status);
// The window goes on as before: the buttons get the state they should have now, the countdown goes
// on where it was held (a page shown meanwhile counts from its own showing), and a close asked for
// meanwhile is done now.
void end_busy();
// Sets whether an action button should be enabled; while the window is busy this takes effect at
// the end.
void enable_action_button(int id, bool enabled);
// Whether the button is enabled and the window not busy.
bool action_button_usable(int id);
// The close box while busy: remembered, done by end_busy. True when it was kept for later.
bool keep_close_for_later();
// A worker's message (WM_LOGIN_DONE) that arrives while busy is kept and posted again by end_busy, so
// that no log-in answer changes the pages under an action (and no new poll replaces it meanwhile).
// True when it was kept.
bool keep_message_for_later(UINT message);
// Runs work(context) on a worker thread and then done(context) on the window thread; one at a time.
// When no thread can be made, both run here at once. False (and nothing runs) while another runs.
bool run_busy_work(BusyStep work, BusyStep done, void* context);
// The window procedure's handler of WM_BUSY_WORK_DONE.
void on_busy_work_done();
// A tick after a hold of the countdown: a tick taken before the hold moves on by the hold's length,
// one taken during it becomes now.
DWORD tick_after_hold(DWORD tick, DWORD held_since, DWORD now);
