// One update run: talk to the update server once, decide part by part what is out of date, stage
// and verify it, swap it in or leave it waiting, and save what is now installed.
#pragma once

#include <stdint.h>

#include "account/saved_login.h"
#include "updates/update_paths.h"
#include "updates/update_worker.h"

struct UpdateRequest {
    char host[128];
    int port;
    char channel[32];
    char token[TOKEN_CAP];  // empty when nobody is logged in; wiped after the run
};

// The run itself; fills result (zeroed by the caller) and writes progress. True when the run got a
// manifest and ended without a failure (parts that now wait for the next start included).
bool run_update(const UpdatePaths* paths, const UpdateRequest* request, UpdateProgress* progress,
                UpdateResult* result);
