// The update run on its worker thread, the flags and records it shares with the window, and the
// sentences shown to the player when it ends.
//
// Who writes what. start_update_run (window thread) resets every field below before it starts a
// worker; from then on:
// - update_progress.stop: set with an interlocked exchange by whoever asks the run to stop (the
//   window thread, or the busy window's worker for log-out, "Not you?" and the uninstall); the worker and the steps it runs (download, game account file) only read it.
// - update_progress.done_bytes / total_bytes: the worker, with interlocked 64-bit writes
//   (core/shared_counter.h); the window reads them whole and only paints them.
// - update_progress.phase: the worker, with plain stores; the window only paints it.
// - update_result, launcher.update_ok and launcher.player_message: the worker, with plain stores
//   (update_once zeroes update_result at the start of each run, the D3D8 hand-over may run a second
//   one); the window reads them only after it saw update_done = 1.
// - update_done: 0 from start_update_run; 1 from the worker as its last act, or from
//   start_update_run at once when no thread could be started; always with an interlocked exchange.
//   The window reads it in its status tick.
// - update_started, update_checked, update_login: the window thread only. The worker never reads
//   update_login: start_update_run copies the log-in it points at before the worker starts.
#pragma once

#include <stdint.h>

#include "account/saved_login.h"
#include "updates/update_records.h"

// How long a stop waits for a running worker, and the shut-down for the last one.
static const unsigned long UPDATE_WORKER_WAIT_MS = 20000;

// What the run needs from the log-in flow. update_worker.cpp points the log-in and the logged-in flag at
// the current log-in (account/login_state.h), and the flow adds its outcome note when it attaches; the
// window thread reads them: start_update_run takes a copy of the log-in for the worker, the outcome
// text reads the note. A null pointer (tests may set them so) counts as nobody logged in, or no note.
struct UpdateLogin {
    const SavedLogin* login;   // the current log-in; its token names the player to the server
    const bool* logged_in;     // the player is logged in
    const char* outcome_note;  // a sentence of the log-in flow that replaces the update outcome
};

extern UpdateLogin update_login;
extern UpdateProgress update_progress;
extern UpdateResult update_result;
extern bool update_started;
extern volatile long update_done;

// Starts the update worker (or the short worker when no check is made); nothing while a run was
// started already. Called by the window when the main page is shown.
void start_update_run();
// Asks a running worker to stop and waits for it at most UPDATE_WORKER_WAIT_MS; clears
// update_started when allow_restart is set (log-out, "Not you?"), so the next log-in starts a new run.
void stop_update_run(bool allow_restart);
// Waits at most timeout_ms for the worker; closes its handle when it ended, keeps it (and gives
// false) when it did not end in time.
bool wait_for_update_worker(unsigned long timeout_ms);
// Closes the worker's handle whether it ended or not (the shut-down does this last).
void forget_update_worker();
// True when a worker was started in this process.
bool update_worker_started();

// One run with a fresh request and result, followed by its summary log line; gives its result.
bool update_once();
// The update server's port (20292); tests point it at a reference server.
void set_update_port(int port);
int update_port();

// The sentences shown after the run (at most size-1 characters, size 600 from the window); also
// logged as "shown: %s".
void update_outcome_text(char* text, unsigned size);
