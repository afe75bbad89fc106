// The records an update run shares with whoever watches it: its progress while it runs and its
// result when it has ended. Who writes which field, and when the window reads it, is told in
// updates/update_worker.h, which holds the process's one instance of each.
#pragma once

#include <stdint.h>

enum UpdatePhase { PHASE_EXAMINING = 1, PHASE_DOWNLOADING = 2, PHASE_FINISHED = 3, PHASE_FAILED = 4 };

struct UpdateProgress {
    volatile long stop;
    volatile uint64_t done_bytes;
    volatile uint64_t total_bytes;
    volatile long phase;
};

struct UpdateResult {
    uint64_t release;   // of the accepted manifest; 0 when none was accepted
    unsigned newer;     // part bits found out of date
    unsigned applied;   // part bits swapped in
    unsigned staged;    // part bits waiting in staging for the next start
    bool dll_not_ours;  // the DLL in the game folder must not be replaced
    bool stopped;       // the download ended because stop was set
    bool record_failed; // what the run installed could not be recorded in the update folder
    char message[400];
};
